// The files a signed update run left for the stub, each with the SHA-256 the
// run verified: the stub installs, extracts, expands or runs a file only
// when it still holds exactly what was verified.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "IniDocument.h"

namespace kavrel::stub {

class TVerifiedFiles {
 public:
  // From the hand-off file's text; nothing is required without its mark.
  static TVerifiedFiles FromHandOff(const TIniDocument& handOff);

  bool Required() const { return required_; }
  // The verified hash of a file of the download folder (names without
  // regard to case); nothing when the run verified none of that name.
  std::optional<std::string> HashOf(const std::string& name) const;

 private:
  bool required_ = false;
  std::map<std::string, std::string> hashes_;  // upper-case name -> hash
};

}  // namespace kavrel::stub
