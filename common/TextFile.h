// Text files as lines: a byte-order mark selects UTF-8 or UTF-16; text without
// one is taken as UTF-8 when it is valid UTF-8 and as Latin-1 otherwise.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

// The text as UTF-8, whatever its encoding.
std::string DecodeText(std::string_view bytes);
// Lines split at CR LF, LF or a lone CR; a final line end adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace kavrel
