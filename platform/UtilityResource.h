// The patch utility as the engine carries it: the program's bytes as they are.
#pragma once

#include <string_view>

namespace kavrel::resources {

// A text the utility carries (it shows it in its usage), by which a
// "patcher.exe" is known to be ours, and so may be replaced by a newer one.
inline constexpr std::string_view kUtilityMark = "the Kavrel patch utility";

// The utility's bytes; empty when the program carries none.
std::string_view UtilityResource();

}  // namespace kavrel::resources
