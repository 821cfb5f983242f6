#include "LzExpand.h"

#include <memory>

#include "Files.h"
#include "MspackFiles.h"
#include "UnpackTarget.h"

namespace kavrel {

namespace {

struct TDecompressorDeleter {
  void operator()(msszdd_decompressor* d) const { mspack_destroy_szdd_decompressor(d); }
};
using TDecompressor = std::unique_ptr<msszdd_decompressor, TDecompressorDeleter>;

// The header of an open compressed file, closed before its decompressor goes.
class TOpenSource {
 public:
  TOpenSource(msszdd_decompressor* d, const std::string& path)
      : d_(d), header_(d->open(d, path.c_str())) {}
  ~TOpenSource() {
    if (header_ != nullptr) d_->close(d_, header_);
  }
  TOpenSource(const TOpenSource&) = delete;
  TOpenSource& operator=(const TOpenSource&) = delete;
  msszddd_header* operator->() const { return header_; }
  msszddd_header* get() const { return header_; }
  explicit operator bool() const { return header_ != nullptr; }

 private:
  msszdd_decompressor* d_;
  msszddd_header* header_;
};

std::string ExpandedName(const std::string& name, char missing) {
  std::string out = name;
  if (out.empty()) return out;
  if (missing != '\0')
    out.back() = missing;
  else if (out.back() == '_')
    out.pop_back();
  return out;
}

}  // namespace

std::optional<std::string> ExpandedLZName(const std::string& FileName) {
  TMspackFiles files;
  const TDecompressor d(mspack_create_szdd_decompressor(files.System()));
  if (!d) return std::nullopt;
  const TOpenSource source(d.get(), FileName);
  if (!source) return std::nullopt;
  return ExpandedName(FileName, source->missing_char);
}

std::optional<std::string> ExpandLZ(const std::string& FileName) {
  TMspackFiles files;
  const TDecompressor d(mspack_create_szdd_decompressor(files.System()));
  if (!d) return std::nullopt;
  const TOpenSource source(d.get(), FileName);
  if (!source || source->length < 0) return std::nullopt;
  const std::string expanded = ExpandedName(FileName, source->missing_char);
  if (expanded.empty()) return std::nullopt;
  TUnpackTarget target;
  if (!target.Prepare(files, expanded)) return std::nullopt;
  if (d->extract(d.get(), source.get(), target.TempPath().c_str()) != MSPACK_ERR_OK)
    return std::nullopt;
  // libmspack stops where the compressed data ends: a truncated source would
  // give a short file. The header tells how long the file must be.
  if (!target.Commit(files, static_cast<std::uint64_t>(source->length))) return std::nullopt;
  return expanded;
}

void ExpandLZFile(const std::string& FileName) {
  const auto name = ExpandedLZName(FileName);
  if (!name) return;
  const auto expanded = ExpandLZ(FileName);
  // A source that is its own expanded name has been replaced by its expansion.
  if (expanded && *expanded == FileName) return;
  platform::DeleteFileAt(FileName);
}

}  // namespace kavrel
