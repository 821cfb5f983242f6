#include "Processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include "CommandLine.h"
#include "Files.h"
#include "PathNames.h"
#include "System.h"
#include "Text.h"

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

// Starts the program of args[0]; the child's number, or -1. A detached child
// is a program of its own: its standard streams on the null device and a
// session of its own, so that neither this process's end nor its terminal's
// takes it along.
pid_t SpawnChild(const std::vector<std::string>& args, bool detached = false) {
  if (args.empty()) return -1;
  const std::string program = FindProgram(args[0]);
  if (program.empty()) {
    errno = ENOENT;
    return -1;
  }
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The program gets none of this process's open files and connections (the
  // Internet client's sockets are not all marked close-on-exec).
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (detached) {
    for (int fd = 0; fd <= 2; ++fd)
      posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
  }
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) errno = rc;
  return rc == 0 ? pid : -1;
}

bool Spawn(const std::vector<std::string>& args, bool detached = false) {
  ReapEndedChildren();
  const pid_t pid = SpawnChild(args, detached);
  if (pid < 0) return false;
  std::lock_guard lock(gChildrenMutex);
  gChildren.push_back(pid);
  return true;
}

// Whether a process of this number is alive: one that has ended but that its
// parent has not collected yet counts as ended.
bool ProcessAlive(pid_t pid) {
  if (::kill(pid, 0) != 0 && errno != EPERM) return false;
  const auto stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  // "pid (name) S ...": the state follows the name's closing parenthesis.
  const std::size_t close = stat->rfind(')');
  return close == std::string::npos || close + 2 >= stat->size() || (*stat)[close + 2] != 'Z';
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

void IgnoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }

namespace {
volatile std::sig_atomic_t gInterrupted = 0;
void OnInterrupt(int) { gInterrupted = 1; }
}  // namespace

void CancelOnInterrupt() {
  struct sigaction action {};
  action.sa_handler = &OnInterrupt;
  action.sa_flags = SA_RESETHAND;  // the second request takes the default action
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return gInterrupted != 0; }

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

void WaitForProcessEnd(std::uint32_t id) {
  if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX)) return;
  const auto pid = static_cast<pid_t>(id);
#ifdef SYS_pidfd_open
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) {
    pollfd ended{fd, POLLIN, 0};
    while (::poll(&ended, 1, -1) < 0 && errno == EINTR) {
    }
    ::close(fd);
    return;
  }
  if (errno == ESRCH) return;
#endif
  // Without process descriptors (an older kernel, or one that refuses them):
  // look again every few hundredths of a second.
  while (ProcessAlive(pid)) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

bool ProcessRunning(std::uint32_t id) {
  return id != 0 && id <= static_cast<std::uint32_t>(INT_MAX) &&
         ProcessAlive(static_cast<pid_t>(id));
}

bool StartDetached(std::string_view program, std::string_view parameters) {
  return Spawn({ToNativePath(program), std::string(parameters)}, true);
}

bool StartDetachedWith(std::string_view program, const std::vector<std::string>& arguments) {
  std::vector<std::string> args = {ToNativePath(program)};
  args.insert(args.end(), arguments.begin(), arguments.end());
  return Spawn(args, true);
}

bool StartDetachedElevated(std::string_view program, std::string_view parameters) {
  return StartDetached(program, parameters);
}

bool StartDetachedAsUser(std::string_view program, const std::vector<std::string>& arguments) {
  return StartDetachedWith(program, arguments);
}

bool RunsElevated() { return false; }

std::optional<TWatchedProgram> TWatchedProgram::Start(std::string_view program,
                                                      const std::vector<std::string>& arguments) {
  std::vector<std::string> args = {ToNativePath(program)};
  args.insert(args.end(), arguments.begin(), arguments.end());
  const pid_t pid = SpawnChild(args, true);
  if (pid < 0) return std::nullopt;
  return TWatchedProgram(pid);
}

TWatchedProgram::TState TWatchedProgram::Wait(std::chrono::milliseconds limit) {
  if (ended_) return *ended_;
  const auto until = std::chrono::steady_clock::now() + limit;
  while (true) {
    int status = 0;
    const pid_t done = ::waitpid(static_cast<pid_t>(handle_), &status, WNOHANG);
    if (done == static_cast<pid_t>(handle_)) {
      if (WIFEXITED(status)) how_ = "exit status " + std::to_string(WEXITSTATUS(status));
      if (WIFSIGNALED(status)) how_ = "signal " + std::to_string(WTERMSIG(status));
      ended_ = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? TState::Succeeded : TState::Failed;
      return *ended_;
    }
    if (done < 0 && errno != EINTR) {
      how_ = "lost";
      return *(ended_ = TState::Failed);
    }
    if (std::chrono::steady_clock::now() >= until) return TState::Running;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void TWatchedProgram::Stop() {
  if (ended_ || handle_ < 0) return;
  ::kill(static_cast<pid_t>(handle_), SIGKILL);
  Wait(std::chrono::seconds(10));
}

TWatchedProgram::~TWatchedProgram() {
  // Still running: it is collected with the other children started here.
  if (handle_ >= 0 && !ended_) {
    std::lock_guard lock(gChildrenMutex);
    gChildren.push_back(static_cast<pid_t>(handle_));
  }
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

std::string ParameterText(int argc, char** argv) {
  if (argc == 2) return argv[1];
  // Several arguments (a program started by hand): each that holds a blank
  // keeps it inside quotes.
  std::string text;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i > 1) text += ' ';
    const bool blank = std::any_of(arg.begin(), arg.end(),
                                   [](char c) { return static_cast<unsigned char>(c) <= 32; });
    text += blank ? "\"" + arg + "\"" : arg;
  }
  return text;
}

bool StartCommandLine(std::string_view commandLine) { return Spawn(CommandArguments(commandLine)); }

bool ShellOpen(std::string_view target, std::string_view parameters) {
  const std::string native = ToNativePath(target);
  if (IsExecutableFile(native) ||
      (!ContainsSeparator(native) && SchemeOf(target).empty() && !FindProgram(native).empty())) {
    std::vector<std::string> args = SplitCommandLine(parameters);
    args.insert(args.begin(), native);
    return Spawn(args);
  }
  // Like the desktop shell, nothing is opened for a name that is neither an
  // address nor an existing file.
  const bool address = !SchemeOf(target).empty();
  if (!address && !FileExists(native) && !DirectoryExists(native)) return false;
  const std::string opener = FindProgram("xdg-open");
  if (opener.empty()) return false;
  return Spawn({opener, address ? std::string(target) : native});
}

}  // namespace kavrel::platform
