// Data the running program carries in itself, where the system keeps such
// data apart from the code (Windows resources).
#pragma once

#include <optional>
#include <string_view>

namespace kavrel::platform {

// The bytes of the program's RCDATA resource of this name; nothing when it
// has none.
std::optional<std::string_view> ProgramResource(std::string_view name);

}  // namespace kavrel::platform
