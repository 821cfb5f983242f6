// Starting programs. A command line is never given to a shell.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::platform {

// A program named without a folder is looked for in the folder of the running
// program, then in the current folder, then along the search path.

// Starts a command line (split by the Windows rules) without waiting for it.
// True when it started.
bool StartCommandLine(std::string_view commandLine);

// Opens a file or address as the desktop would: a program is started (with
// the parameters, split by the Windows rules), anything else (a document, an
// address with any scheme: "http://...", "mailto:...") goes to the desktop's
// opener. True when it started.
bool ShellOpen(std::string_view target, std::string_view parameters = {});

// Runs a command line (split by the Windows rules) and waits for its end
// without a time limit, calling `waiting` every few hundredths of a second
// meanwhile. The program's exit code, or nothing when it could not be started
// or did not end by itself (a signal). A program here has no window to show or
// hide, so `showWindow` only matters where programs have one.
std::optional<int> RunAndWait(std::string_view commandLine, bool showWindow,
                              const std::function<void()>& waiting = {});

// The number of the running process.
std::uint32_t CurrentProcessId();
// Waits without a time limit until the process of this number has ended;
// returns at once when there is none.
void WaitForProcessEnd(std::uint32_t pid);
// Whether a process of this number is running now (one that has ended but is
// not yet collected counts as ended).
bool ProcessRunning(std::uint32_t pid);

// Starts a program of its own, which goes on when this process has ended: it
// gets none of this process's open files, its standard streams go nowhere, and
// it is not tied to this process's terminal. `parameters` is one text, which
// the program reads back with ParameterText. True when it started.
bool StartDetached(std::string_view program, std::string_view parameters);
// Like StartDetached, the program getting exactly these arguments.
bool StartDetachedWith(std::string_view program, const std::vector<std::string>& arguments);
// Like StartDetached, with administrator rights the user grants (Windows'
// "runas"); on systems without elevation the same as StartDetached.
bool StartDetachedElevated(std::string_view program, std::string_view parameters);
// Like StartDetachedWith, never with raised rights: from an elevated process,
// with the rights of the user's own session (the desktop shell's, or the
// session's limited ones); false when those cannot be had.
bool StartDetachedAsUser(std::string_view program, const std::vector<std::string>& arguments);
// A program started like StartDetachedAsUser whose end this process can wait
// for a while: the updater stub watches the application it restarts through
// its first seconds. When the object goes the program runs on by itself.
class TWatchedProgram {
 public:
  enum class TState { Running, Succeeded, Failed };
  // Nothing when it could not be started.
  static std::optional<TWatchedProgram> Start(std::string_view program,
                                              const std::vector<std::string>& arguments);
  // Waits at most `limit` for its end. Failed: it ended with an exit status
  // other than 0, or by a signal or an exception (a crash).
  TState Wait(std::chrono::milliseconds limit);
  // How it ended, for a log line ("exit status 1", "signal 11").
  const std::string& How() const { return how_; }
  // Ends it by force and waits for its end.
  void Stop();

  TWatchedProgram(TWatchedProgram&& other) noexcept
      : handle_(other.handle_), ended_(other.ended_), how_(std::move(other.how_)) {
    other.handle_ = -1;
  }
  TWatchedProgram& operator=(TWatchedProgram&&) = delete;
  TWatchedProgram(const TWatchedProgram&) = delete;
  ~TWatchedProgram();

 private:
  explicit TWatchedProgram(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_;  // a process number, or a Windows process handle
  std::optional<TState> ended_;
  std::string how_;
};

// Whether this process runs with rights raised above the user's own
// (Windows' elevation); never on systems without it.
bool RunsElevated();
// The program's arguments after its name, in UTF-8: on Windows read from its
// wide command line (the 8-bit one loses letters of other code pages), and
// its console is told that output is UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);
// The parameter text a program was started with: the text StartDetached gave
// it, or the arguments after the program's name joined by blanks.
std::string ParameterText(int argc, char** argv);

// Writing to a pipe whose reader has gone fails instead of ending the process.
void IgnoreBrokenPipe();
// The first interrupt or termination request (SIGINT, SIGTERM) is recorded
// instead of ending the process, so that a run can end cleanly; a second one
// ends it at once.
void CancelOnInterrupt();
bool InterruptRequested();

// The folder of the running program, without a trailing separator.
std::string ProgramFolder();

}  // namespace kavrel::platform
