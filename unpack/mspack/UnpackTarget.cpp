#include "UnpackTarget.h"

#include "PathNames.h"

namespace kavrel {

bool TUnpackTarget::Prepare(TMspackFiles& files, const std::string& target) {
  target_ = target;
  auto file =
      platform::TFile::CreateTemporary(std::string(platform::FolderPart(target)), "KAVR", temp_);
  if (!file) return false;
  files.Prepare(temp_, std::move(*file));
  return true;
}

bool TUnpackTarget::Commit(const TMspackFiles& files, std::uint64_t length,
                           std::optional<TDateTime> lastWrite, const TPlaceFile& place) {
  if (temp_.empty() || files.WrittenLength(temp_) != length) return false;
  platform::ShareLike(temp_, target_);
  if (lastWrite) platform::SetLastWriteTime(temp_, *lastWrite);
  if (!PlaceFile(place, temp_, target_)) return false;
  temp_.clear();
  return true;
}

TUnpackTarget::~TUnpackTarget() {
  if (!temp_.empty()) platform::DeleteFileAt(temp_);
}

}  // namespace kavrel
