// What the engine and the updater stub agree on when the engine hands the
// application's components over: the stub's command line, which the engine
// builds and the stub splits by its own rule, and the hand-off file that
// tells the stub the update log's name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

inline constexpr const char* kStubProgramName = "kvsetup.exe";
inline constexpr const char* kStubCompressedName = "kvsetup.ex_";
inline constexpr const char* kHandOffSection = "CONFIG";
inline constexpr const char* kHandOffLogKey = "LOGFILENAME";
inline constexpr const char* kDefaultLogName = "KAVREL.LOG";
// A signed run's hand-off also names every file it left in the download
// folder with its verified SHA-256 (values "HASH NAME" numbered from 1); the
// stub then installs nothing else.
inline constexpr const char* kHandOffVerifiedKey = "VERIFIED";
inline constexpr const char* kHandOffHashSection = "SHA256";
// The health check of the restarted application: its grace period in seconds
// (absent or 0: none), and "1" when it must confirm its start within it.
inline constexpr const char* kHandOffHealthKey = "HEALTHCHECK";
inline constexpr const char* kHandOffConfirmKey = "CONFIRM";

struct TStubCommand {
  std::uint32_t ProcessId = 0;  // the process the stub waits for
  bool Logging = false;
  std::string Application;   // the program to start at the end
  std::string Parameters;    // its parameters; a single blank for none
  std::string SourceFolder;  // where the components lie
  std::string Components;    // file names separated by blanks
};

// The command line: the process number, " L " or " X ", the application and
// the parameters (each in double quotes when it holds a blank or another
// character up to 32), the source
// folder always in double quotes, and the components as they are.
std::string BuildStubCommandLine(const TStubCommand& command);

// False when a field holds a double quote: the stub's rule drops every one,
// so it would read other arguments than the engine meant.
bool StubCanReadBack(const TStubCommand& command);

// The stub's arguments: characters up to 32 separate them; at an argument's
// start a pair of double quotes is skipped like a separator; inside one a
// double quote switches quoting on and off and is dropped, and blanks belong
// to the argument while quoting is on; a backslash is an ordinary character.
std::vector<std::string> SplitStubArguments(std::string_view commandLine);

// KAVREL.INI in the user's documents folder; where there is none, in the
// Windows folder, where the profile functions put a file named without a folder.
std::string HandOffFilePath();

// The lock that keeps two updates of one installation apart: the engine's
// run holds it, and the stub takes it once the run's host has ended, until it
// restarts the application. A file in this user's temporary folder named
// after the installation's folder (the current one).
std::string InstallationLockPath();

}  // namespace kavrel
