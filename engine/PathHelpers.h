// Path and text operations the engine's steps share.
#pragma once

#include <functional>
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
// Replaces each macro, a name between "{" and "}", by the value `lookup` gives
// for its name in upper case. A macro without a value stays as it is; an
// inserted value is scanned for macros again. A value that names its own
// macro, directly or through others, cannot make the text grow for ever: past
// a bound far beyond any real path the text is left as it stands.
std::string ExpandBracedMacros(std::string text,
                               const std::function<std::string(const std::string&)>& lookup);
// The value of one of the folder macros WIN, SYS, APP, TMP, DOC and PF in the
// macro value form; empty for any other name and for a folder that cannot be
// determined.
std::string FolderMacroValue(const std::string& upperName);

// 1-based position of needle in text, ignoring ASCII case; 0 when absent or
// when needle is empty.
std::size_t PosNoCase(std::string_view needle, std::string_view text);

}  // namespace kavrel
