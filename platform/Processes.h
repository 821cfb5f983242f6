// Starting programs. A command line is never given to a shell.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kavrel::platform {

// A program named without a folder is looked for in the folder of the running
// program, then in the current folder, then along the search path.

// Starts a command line (split by the Windows rules) without waiting for it.
// True when it started.
bool StartCommandLine(std::string_view commandLine);

// Opens a file or address as the desktop would: a program is started (with
// the parameters, split by the Windows rules), anything else (a page, a
// document) goes to the desktop's opener. True when it started.
bool ShellOpen(std::string_view target, std::string_view parameters = {});

// Runs a command line (split by the Windows rules) and waits for its end
// without a time limit, calling `waiting` every few hundredths of a second
// meanwhile. The program's exit code, or nothing when it could not be started
// or did not end by itself (a signal). A program here has no window to show or
// hide, so `showWindow` only matters where programs have one.
std::optional<int> RunAndWait(std::string_view commandLine, bool showWindow,
                              const std::function<void()>& waiting = {});

// The folder of the running program, without a trailing separator.
std::string ProgramFolder();

}  // namespace kavrel::platform
