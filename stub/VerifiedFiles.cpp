#include "VerifiedFiles.h"

#include "Sha256.h"
#include "StubHandoff.h"
#include "Text.h"

namespace kavrel::stub {

TVerifiedFiles TVerifiedFiles::FromHandOff(const TIniDocument& handOff) {
  TVerifiedFiles files;
  files.required_ = handOff.ReadString(kHandOffSection, kHandOffVerifiedKey, "") == "1";
  if (!files.required_) return files;
  for (const std::string& key : handOff.KeyNames(kHandOffHashSection)) {
    const std::string value = handOff.ReadString(kHandOffHashSection, key, "");
    const std::size_t blank = value.find(' ');
    if (blank == std::string::npos) continue;
    if (const auto hash = trust::NormalizedSha256(value.substr(0, blank)))
      files.hashes_[UpperCase(value.substr(blank + 1))] = *hash;
  }
  return files;
}

std::optional<std::string> TVerifiedFiles::HashOf(const std::string& name) const {
  const auto it = hashes_.find(UpperCase(name));
  return it == hashes_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

}  // namespace kavrel::stub
