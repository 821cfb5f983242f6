// The SHA-256 of a file on disk, read in large blocks: what a signed control
// file names, and what the updater stub checks before it installs.
#pragma once

#include <optional>
#include <string>

namespace kavrel {

// Nothing when the file cannot be read to its end.
std::optional<std::string> FileSha256(const std::string& path);

}  // namespace kavrel
