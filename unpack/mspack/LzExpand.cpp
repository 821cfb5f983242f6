#include "LzExpand.h"

#include <memory>

#include "Files.h"
#include "MspackFiles.h"
#include "UnpackNames.h"
#include "UnpackTarget.h"

namespace kavrel {

namespace {

using TOpenHeader = TMspackOpened<msszdd_decompressor, msszddd_header>;

// A compressed file opened for expansion with what libmspack needs for it;
// Header() is null when the file cannot be read or is not in the LZ format.
class TLzSource {
 public:
  explicit TLzSource(const std::string& path)
      : d_(mspack_create_szdd_decompressor(files_.System()), &mspack_destroy_szdd_decompressor) {
    if (d_) header_.emplace(d_.get(), path);
  }
  msszddd_header* Header() const { return header_ ? header_->get() : nullptr; }
  TMspackFiles& Files() { return files_; }
  msszdd_decompressor* Decompressor() const { return d_.get(); }

 private:
  TMspackFiles files_;
  std::unique_ptr<msszdd_decompressor, decltype(&mspack_destroy_szdd_decompressor)> d_;
  std::optional<TOpenHeader> header_;  // closed before the decompressor goes
};

}  // namespace

std::optional<std::string> ExpandedLZName(const std::string& FileName) {
  const TLzSource source(FileName);
  if (source.Header() == nullptr) return std::nullopt;
  std::string name = LzExpandedName(FileName, source.Header()->missing_char);
  if (name.empty()) return std::nullopt;
  return name;
}

std::optional<std::string> ExpandLZ(const std::string& FileName,
                                    const std::optional<std::string>& Folder,
                                    const TPlaceFile& place) {
  TLzSource source(FileName);
  msszddd_header* header = source.Header();
  if (header == nullptr || header->length < 0) return std::nullopt;
  const std::string expanded = LzTargetPath(FileName, header->missing_char, Folder);
  if (expanded.empty()) return std::nullopt;
  TUnpackTarget target;
  if (!target.Prepare(source.Files(), expanded)) return std::nullopt;
  msszdd_decompressor* d = source.Decompressor();
  if (d->extract(d, header, target.TempPath().c_str()) != MSPACK_ERR_OK) return std::nullopt;
  // libmspack stops where the compressed data ends: a truncated source would
  // give a short file. The header tells how long the file must be.
  if (!target.Commit(source.Files(), static_cast<std::uint64_t>(header->length), std::nullopt,
                     place))
    return std::nullopt;
  return expanded;
}

}  // namespace kavrel
