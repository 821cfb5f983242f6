// Data the running code carries in itself, where the system keeps such data
// apart from the code (Windows resources).
#pragma once

#include <optional>
#include <string_view>

namespace kavrel::platform {

// The bytes of the RCDATA resource of this name of the module that holds the
// engine: the program, or the engine's DLL where a host loaded it. Nothing
// when it has none.
std::optional<std::string_view> ProgramResource(std::string_view name);

}  // namespace kavrel::platform
