#include "Processes.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <thread>
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
  const std::string own = ProgramFolder() + "/" + name;
  if (IsExecutableFile(own)) return own;
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

// Starts the program of args[0]; the child's number, or -1.
pid_t SpawnChild(const std::vector<std::string>& args) {
  if (args.empty()) return -1;
  const std::string program = FindProgram(args[0]);
  if (program.empty()) return -1;
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
  return rc == 0 ? pid : -1;
}

bool Spawn(const std::vector<std::string>& args) {
  ReapEndedChildren();
  const pid_t pid = SpawnChild(args);
  if (pid < 0) return false;
  std::lock_guard lock(gChildrenMutex);
  gChildren.push_back(pid);
  return true;
}

// A command line's arguments, the program's name in the native form.
std::vector<std::string> CommandArguments(std::string_view commandLine) {
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (!args.empty()) args[0] = ToNativePath(args[0]);
  return args;
}

}  // namespace

std::string ProgramFolder() {
  std::vector<char> buffer(PATH_MAX);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return ".";
  const std::string path(buffer.data(), static_cast<std::size_t>(n));
  const std::size_t slash = path.find_last_of('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<int> RunAndWait(std::string_view commandLine, bool,
                              const std::function<void()>& waiting) {
  const pid_t pid = SpawnChild(CommandArguments(commandLine));
  if (pid < 0) return std::nullopt;
  int status = 0;
  while (true) {
    const pid_t done = ::waitpid(pid, &status, waiting ? WNOHANG : 0);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (done == 0) {
      waiting();
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
  }
  if (!WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

bool StartCommandLine(std::string_view commandLine) { return Spawn(CommandArguments(commandLine)); }

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
