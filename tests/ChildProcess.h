// Runs a program to its end as a real child process, with its output caught.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"

namespace kavrel::test {

struct TProgramResult {
  int ExitCode = -1;  // -1 when it did not end normally
  std::string Out;
  std::string Err;
};

// Runs `args` (args[0] is the program's path) in `folder` with the extra
// environment variables given, waiting at most `timeoutSeconds`.
TProgramResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                          const TEnvironment& env = {}, int timeoutSeconds = 60);

// The largest memory any child this process ran to its end has held, in
// bytes.
std::size_t LargestChildMemory();

// Runs `program` with one parameter text as a program started by the system
// reads it back: on POSIX as its one argument, on Windows as its command line
// after its name, exactly as it stands.
TProgramResult RunWithParameterText(const std::string& program, const std::string& text,
                                    const std::string& folder, const TEnvironment& env = {},
                                    int timeoutSeconds = 60);

// A program running as a child while the test watches its standard output,
// so that it can be killed at a chosen moment. Killed when the object goes.
class TRunningProgram {
 public:
  // `ownConsole` starts it, on Windows, at a console of its own, where
  // Interrupt can reach it (POSIX needs none).
  TRunningProgram(const std::vector<std::string>& args, const std::string& folder,
                  const TEnvironment& env = {}, bool ownConsole = false);
  ~TRunningProgram();
  TRunningProgram(const TRunningProgram&) = delete;
  TRunningProgram& operator=(const TRunningProgram&) = delete;

  // Reads the output until it holds `text`; false when the output ended or
  // the time ran out first.
  bool WaitForOutput(std::string_view text, std::chrono::milliseconds timeout);
  // SIGKILL (on Windows: TerminateProcess), and the child reaped.
  void Kill();
  // SIGINT; on Windows Ctrl+C at the program's own console, as the user
  // there would type it.
  void Interrupt();
  // Closes the test's end of the output, as a reader that goes away early.
  void CloseOutput();
  // Reads the output to its end and waits for the program (killed after the
  // time-out); the exit code is -1 when it did not end normally.
  TProgramResult Wait(int timeoutSeconds = 60);
  pid_t Pid() const { return pid_; }
  const std::string& Output() const { return output_; }

 private:
  TTempDir capture_;
  pid_t pid_ = -1;
#ifdef _WIN32
  void* process_ = nullptr;  // the handle of the child
  void* out_ = nullptr;      // our end of its output pipe
#else
  int out_ = -1;
#endif
  std::string output_;
};

// The path of the kavrel command-line program built beside the tests.
std::string KavrelProgram();

}  // namespace kavrel::test
