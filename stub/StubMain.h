// The updater stub's main sequence: wait for the launcher to end, take the
// log name from the hand-off file, work through the files of the command
// line, and start the application again.
#pragma once

#include <string>

namespace kavrel::stub {

inline constexpr const char* kStubVersionLine = "upd v2.0.3.4";

// Runs the stub on its parameter text. The result is the program's exit code,
// which nobody reads: 1 when the text names no process, else 0.
int RunStub(const std::string& commandLine);

}  // namespace kavrel::stub
