// Starting programs. A command line is never given to a shell.
#pragma once

#include <string>
#include <string_view>

namespace kavrel::platform {

// Starts a command line (split by the Windows rules) without waiting for it.
// The program is looked for as named, then in the current folder, then along
// the search path. True when it started.
bool StartCommandLine(std::string_view commandLine);

// Opens a file or address as the desktop would: a program is started (with
// the parameters, split by the Windows rules), anything else (a page, a
// document) goes to the desktop's opener. True when it started.
bool ShellOpen(std::string_view target, std::string_view parameters = {});

}  // namespace kavrel::platform
