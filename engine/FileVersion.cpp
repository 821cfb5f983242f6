#include "FileVersion.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "Errors.h"
#include "Files.h"
#include "PeVersion.h"

namespace kavrel {

namespace {

// Random access over a file that is read forward only: reading ahead skips to
// an offset, going back opens the file again. The version walk moves forward
// through an image almost always, so even a large image is read at most about
// once, through one small window.
class TForwardFileReader final : public IByteReader {
 public:
  explicit TForwardFileReader(std::string_view path) : path_(path) {}

  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (size > kPeMaxRead) return false;
    if (!Covers(offset, size)) {
      try {
        if (!Fill(offset)) return false;
      } catch (const platform::EInOutError&) {
        // A read that fails counts as the end of the file.
        return false;
      }
      if (!Covers(offset, size)) return false;
    }
    std::memcpy(buffer, window_.data() + (offset - windowStart_), size);
    return true;
  }

 private:
  static constexpr std::size_t kBlock = 4096;

  bool Covers(std::uint64_t offset, std::size_t size) const {
    return offset >= windowStart_ && offset - windowStart_ <= windowLength_ &&
           size <= windowLength_ - (offset - windowStart_);
  }

  // Loads the window so that it starts at most one block before `offset`
  // and holds everything up to kPeMaxRead bytes after it that the file has.
  bool Fill(std::uint64_t offset) {
    std::uint64_t start = offset / kBlock * kBlock;
    if (!file_ || offset < position_) {
      file_ = platform::TFile::Open(path_, platform::TFile::Mode::Read);
      if (!file_) return false;
      position_ = 0;
    }
    if (start < position_) start = position_;
    windowLength_ = 0;
    while (position_ < start) {
      const std::size_t chunk =
          static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), start - position_));
      const std::size_t n = file_->Read(window_.data(), chunk);
      if (n == 0) return false;
      position_ += n;
    }
    windowStart_ = start;
    while (windowLength_ < window_.size()) {
      const std::size_t n =
          file_->Read(window_.data() + windowLength_, window_.size() - windowLength_);
      if (n == 0) break;
      windowLength_ += n;
    }
    position_ += windowLength_;
    return true;
  }

  std::string path_;
  std::optional<platform::TFile> file_;
  std::uint64_t position_ = 0;  // where the next read of the file begins
  std::uint64_t windowStart_ = 0;
  std::size_t windowLength_ = 0;
  std::array<std::uint8_t, 2 * kBlock> window_{};
};

}  // namespace

TVersionWords GetFileVersion(std::string_view path) {
  TForwardFileReader reader(path);
  const auto version = ReadPeFileVersion(reader);
  if (!version) return TVersionWords{};
  return TVersionWords{version->MS, version->LS};
}

}  // namespace kavrel
