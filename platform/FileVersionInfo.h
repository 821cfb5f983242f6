// The file version a program or library records in its version resource.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace kavrel::platform {

// The two file-version words (most and least significant) of the fixed
// version block; nothing for a file without one, for any other kind of file
// and for a file that cannot be opened or read.
std::optional<std::pair<std::uint32_t, std::uint32_t>> ReadFileVersion(std::string_view path);

}  // namespace kavrel::platform
