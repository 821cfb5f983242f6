// What making and applying a patch share: the result file written beside
// its place, digests, zstd's errors and limits. Kept apart so that the patch
// utility, which only applies, carries no compressor.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Files.h"
#include "Patch.h"
#include "Sha256.h"

namespace kavrel::delta {

// zstd's largest window (its stable interface does not name it).
inline constexpr int kWindowLogMax = sizeof(std::size_t) == 4 ? 30 : 31;

inline TPatchOutcome Failure(TPatchResult result, std::string detail) {
  return {result, std::move(detail)};
}
TPatchOutcome WriteFailure(const std::string& what, const std::string& path, int error);
std::string SystemText(int error);
trust::TSha256::TDigest DigestOf(std::span<const std::uint8_t> bytes);
// zstd's name for the error a call returned; nothing when it succeeded.
std::optional<std::string> ZstdError(std::size_t code);

// A new temporary file beside `path`, deleted unless Keep() takes it over.
class TResultFile {
 public:
  explicit TResultFile(std::string path) : target_(std::move(path)) {}
  ~TResultFile();
  TResultFile(const TResultFile&) = delete;
  TResultFile& operator=(const TResultFile&) = delete;
  bool Create(int* error);
  platform::TFile& File() { return *file_; }
  const std::string& Path() const { return path_; }
  // Closes the file and renames it over the target.
  bool Keep();

 private:
  std::string target_, path_;
  std::optional<platform::TFile> file_;
};

}  // namespace kavrel::delta
