// Version numbers as two 32-bit words: major * 65536 + minor, then
// release * 65536 + build. A word with all bits set means "no version".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kavrel {

struct TVersionWords {
  std::uint32_t MS = 0xFFFFFFFFu;
  std::uint32_t LS = 0xFFFFFFFFu;
  bool Valid() const { return MS != 0xFFFFFFFFu && LS != 0xFFFFFFFFu; }
  friend bool operator==(const TVersionWords&, const TVersionWords&) = default;
};

// Up to four numbers separated by "," (when the text has a comma anywhere) or
// else by "."; missing trailing numbers count as 0; each number counts modulo
// 65536. A text that is no version gives all-ones words.
TVersionWords ParseVersion(std::string_view text);
// major.minor.release.build in decimal.
std::string VersionToText(TVersionWords version);
// Compares the words as signed 32-bit numbers, the first word first: below 0
// when a is older, 0 when equal, above 0 when a is newer.
int CompareVersionWords(TVersionWords a, TVersionWords b);

}  // namespace kavrel
