#include "Processes.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "CommandLine.h"
#include "Files.h"
#include "PathNames.h"
#include "System.h"

extern char** environ;

namespace kavrel::platform {

namespace {

std::mutex gChildrenMutex;
std::vector<pid_t> gChildren;

// Children are started without waiting; collect those that have ended so that
// none stays behind as a zombie while the launcher lives on.
void ReapEndedChildren() {
  std::lock_guard lock(gChildrenMutex);
  std::erase_if(gChildren, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == pid; });
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string FindProgram(const std::string& name) {
  if (ContainsSeparator(name)) return ToNativePath(name);
  const std::string local = GetCurrentDir() + "/" + name;
  if (IsExecutableFile(local)) return local;
  const std::string path = GetEnvironment("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = end > start ? path.substr(start, end - start) : ".";
    const std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

bool Spawn(const std::vector<std::string>& args) {
  ReapEndedChildren();
  if (args.empty()) return false;
  const std::string program = FindProgram(args[0]);
  if (program.empty()) return false;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The program gets none of this process's open files and connections (the
  // Internet client's sockets are not all marked close-on-exec).
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  std::lock_guard lock(gChildrenMutex);
  gChildren.push_back(pid);
  return true;
}

}  // namespace

bool StartCommandLine(std::string_view commandLine) {
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (!args.empty()) args[0] = ToNativePath(args[0]);
  return Spawn(args);
}

bool ShellOpen(std::string_view target, std::string_view parameters) {
  const std::string native = ToNativePath(target);
  if (IsExecutableFile(native) || (!ContainsSeparator(native) && !FindProgram(native).empty() &&
                                   native.find("://") == std::string::npos)) {
    std::vector<std::string> args = SplitCommandLine(parameters);
    args.insert(args.begin(), native);
    return Spawn(args);
  }
  // Like the desktop shell, nothing is opened for a name that is neither an
  // address nor an existing file.
  const bool address = target.find("://") != std::string_view::npos;
  if (!address && !FileExists(native) && !DirectoryExists(native)) return false;
  const std::string opener = FindProgram("xdg-open");
  if (opener.empty()) return false;
  return Spawn({opener, address ? std::string(target) : native});
}

}  // namespace kavrel::platform
