#include "PatchSupport.h"

#include <zstd.h>

#include "Errors.h"
#include "PathNames.h"

namespace kavrel::delta {

TPatchOutcome WriteFailure(const std::string& what, const std::string& path, int error) {
  return Failure(TPatchResult::CannotWrite,
                 what + " " + path + ": " + (error != 0 ? SystemText(error) : "failed"));
}

std::string SystemText(int error) { return platform::SystemErrorText(error); }

trust::TSha256::TDigest DigestOf(std::span<const std::uint8_t> bytes) {
  trust::TSha256 hash;
  hash.Add(bytes);
  return hash.Digest();
}

std::optional<std::string> ZstdError(std::size_t code) {
  if (!ZSTD_isError(code)) return std::nullopt;
  return std::string(ZSTD_getErrorName(code));
}

TResultFile::~TResultFile() {
  file_.reset();
  if (!path_.empty()) platform::DeleteFileAt(path_);
}

bool TResultFile::Create(int* error) {
  const std::string folder(platform::FolderPart(target_));
  file_ = platform::TFile::CreateTemporary(folder.empty() ? "." : folder, "KAVP", path_, error);
  return file_.has_value();
}

bool TResultFile::Keep() {
  file_->Close();
  file_.reset();
  if (!platform::ReplaceFileWith(path_, target_)) return false;
  path_.clear();
  return true;
}

}  // namespace kavrel::delta
