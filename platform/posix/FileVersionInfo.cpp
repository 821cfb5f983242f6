// Read from the image itself: the system has no version service of its own.
#include "FileVersionInfo.h"

#include <optional>
#include <string>

#include "Errors.h"
#include "Files.h"
#include "PeVersion.h"

namespace kavrel::platform {

namespace {

// Random access to a file through positioned reads: only the parts of the
// image the version walk asks for are read.
class TFileByteReader final : public IByteReader {
 public:
  explicit TFileByteReader(std::string_view path) : file_(TFile::Open(path, TFile::Mode::Read)) {}

  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (!file_ || size > kPeMaxRead) return false;
    try {
      return file_->ReadAt(offset, buffer, size) == size;
    } catch (const EInOutError&) {
      return false;  // a read that fails counts as the end of the file
    }
  }

 private:
  std::optional<TFile> file_;
};

}  // namespace

std::optional<std::pair<std::uint32_t, std::uint32_t>> ReadFileVersion(std::string_view path) {
  TFileByteReader reader(path);
  const auto version = ReadPeFileVersion(reader);
  if (!version) return std::nullopt;
  return std::pair{version->MS, version->LS};
}

}  // namespace kavrel::platform
