// Test servers as child processes of a Linux test program.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "TestServers.h"
#include "Text.h"

extern char** environ;

namespace kavrel::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kPython = "/usr/bin/python3";

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Reads the "PORT n" line from the child's stdout, waiting at most until
// `deadline`. The reason is given when the line does not come.
int ReadPortLine(int fd, const std::string& script, Clock::time_point deadline) {
  std::string line;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
      Fail(script + " did not print its port within the time-out (got \"" + line + "\")");
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) Fail(SystemError("poll on " + script + " output"));
    if (ready <= 0) continue;
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(script + " closed its output before printing its port");
    if (c == '\n') break;
    line.push_back(c);
  }
  if (line.rfind("PORT ", 0) != 0) Fail(script + " printed \"" + line + "\" instead of its port");
  const std::optional<std::int32_t> port = ParseInt32(line.substr(5));
  if (!port || *port <= 0 || *port > 65535) Fail(script + " printed a bad port: " + line);
  return *port;
}

}  // namespace

// ---- TServerProcess ----

TServerProcess::TServerProcess(const std::string& script, const std::vector<std::string>& args,
                               std::chrono::milliseconds timeout) {
  const std::string scriptPath = std::string(KAVREL_TEST_SERVERS_DIR) + "/" + script;
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  // Close-on-exec everywhere: a child started later by another test must not
  // hold the write end of this server's stdin, or closing ours would not stop it.
  if (::pipe2(in, O_CLOEXEC) != 0) Fail(SystemError("pipe for " + script));
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    Fail(SystemError("pipe for " + script));
  }
  stdin_ = in[1];
  stdout_ = out[0];

  std::vector<std::string> argvText{kPython, scriptPath};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const int rc = ::posix_spawn(&pid_, kPython, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  if (rc != 0) {
    pid_ = -1;
    CloseFd(stdin_);
    CloseFd(stdout_);
    Fail(std::string("cannot start ") + kPython + " " + scriptPath + ": " + std::strerror(rc));
  }
  try {
    port_ = ReadPortLine(stdout_, script, Clock::now() + timeout);
  } catch (const std::runtime_error& e) {
    // The destructor does not run for a constructor that throws.
    const std::string how = Stop();
    Fail(std::string(e.what()) + "; it " + how + " (see its error output above)");
  }
}

TServerProcess::~TServerProcess() { Stop(); }

std::string TServerProcess::Stop() {
  CloseFd(stdin_);
  std::string how = "was not running";
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      how = "did not stop on SIGTERM and was killed";
    } else if (done == pid_) {
      how = WIFEXITED(status) ? "exited with code " + std::to_string(WEXITSTATUS(status))
                              : "was ended by signal " + std::to_string(WTERMSIG(status));
    }
    pid_ = -1;
  }
  CloseFd(stdout_);
  return how;
}

}  // namespace kavrel::test
