// The LZ format with the "SZDD" header that the system's LZ expansion reads:
// a 14-byte header (signature, mode 'A', the last character of the expanded
// name or 0, the expanded length), then groups of eight items, each group led
// by a byte whose bits (lowest first) tell a literal byte (1) from a match (0)
// of 3 to 18 bytes in a 4096-byte window that starts filled with blanks.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavrel {

// The compressed form of `data`, recording `lastChar` (0 for none) as the last
// character of the expanded file's name. Nothing when `data` is longer than
// the header's 32-bit length can tell.
std::optional<std::string> SzddCompress(std::string_view data, char lastChar = '\0');

}  // namespace kavrel
