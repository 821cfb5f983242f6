// What the fuzz targets share: a scratch folder of the process's own, an
// environment that makes the system's folders fixed and keeps every file the
// system might write inside that folder, and a check that names what failed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavrel::fuzz {

// The scratch folder, made below $TMPDIR (else /tmp) when the program starts
// and removed with all it holds when the process ends. Making it also points
// TMPDIR, HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR, KAVREL_REGISTRY_DIR,
// KAVREL_WINDIR and KAVREL_SYSDIR into it; a target may set the last two
// otherwise in LLVMFuzzerInitialize.
const std::string& Scratch();

// Aborts with a message when `condition` does not hold.
void Check(bool condition, std::string_view what);

void WriteWholeFile(const std::string& path, std::string_view data);
// Every file and folder below `folder` as a path relative to it, sorted;
// symbolic links are listed, not followed.
std::vector<std::string> TreeBelow(const std::string& folder);
// Removes everything inside `folder` and leaves it empty.
void EmptyFolder(const std::string& folder);

}  // namespace kavrel::fuzz
