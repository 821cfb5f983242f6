// Path and text operations the engine's steps share.
#pragma once

#include <string>
#include <string_view>

namespace kavrel {

// The path with a trailing separator; an empty path stays empty.
std::string AddBackslash(std::string_view path);
// A folder as a macro value: a path rooted on a drive loses its trailing
// separator (C:\Windows, /usr/share); anything else gets a separator and a full
// stop (C:\., \\server\share\., and "." for an empty path).
std::string MacroPathForm(std::string_view path);
// The user's temporary folder, with a trailing separator.
std::string GetTempDir();
// The user's documents folder, or empty.
std::string GetDocumentsDir();
bool DirExists(std::string_view path);
// Creates a folder with every missing folder above it. True when nothing was
// needed or every creation succeeded; a drive ("C:") and the root count as
// existing.
bool ForceFolder(std::string_view path);
// 1-based position of needle in text, ignoring ASCII case; 0 when absent or
// when needle is empty.
std::size_t PosNoCase(std::string_view needle, std::string_view text);

}  // namespace kavrel
