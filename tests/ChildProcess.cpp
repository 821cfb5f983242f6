#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"

extern char** environ;

namespace kavrel::test {

namespace {

// Starts `args` in `folder` with the extra environment; the file actions say
// where its standard streams go.
pid_t Spawn(const std::vector<std::string>& args, const std::string& folder,
            const TEnvironment& env, posix_spawn_file_actions_t& actions) {
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& [name, value] : env)
      if (entry.rfind(name + "=", 0) == 0) replaced = true;
    if (!replaced) environment.push_back(entry);
  }
  for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
  std::vector<char*> envp, argv;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argsCopy = args;
  for (std::string& a : argsCopy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
  return pid;
}

// Waits for the child until the deadline; false when it had to be killed.
bool Reap(pid_t pid, int& status, std::chrono::steady_clock::time_point deadline) {
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace

TProgramResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                          const TEnvironment& env, int timeoutSeconds) {
  TTempDir capture;
  const std::string outPath = capture.File("out"), errPath = capture.File("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  const pid_t pid = Spawn(args, folder, env, actions);
  TProgramResult result;
  int status = 0;
  if (!Reap(pid, status, std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds))) {
    result.Err = "timed out";
    return result;
  }
  if (WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
  result.Out = ReadFile(outPath).value_or("");
  result.Err = ReadFile(errPath).value_or("");
  return result;
}

std::size_t LargestChildMemory() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

TProgramResult RunWithParameterText(const std::string& program, const std::string& text,
                                    const std::string& folder, const TEnvironment& env,
                                    int timeoutSeconds) {
  return RunProgram({program, text}, folder, env, timeoutSeconds);
}

TRunningProgram::TRunningProgram(const std::vector<std::string>& args, const std::string& folder,
                                 const TEnvironment& env, bool) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, capture_.File("err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  try {
    pid_ = Spawn(args, folder, env, actions);
  } catch (...) {
    ::close(out[0]);
    ::close(out[1]);
    throw;
  }
  ::close(out[1]);
  out_ = out[0];
}

void TRunningProgram::CloseOutput() {
  if (out_ >= 0) ::close(out_);
  out_ = -1;
}

TRunningProgram::~TRunningProgram() {
  Kill();
  if (out_ >= 0) ::close(out_);
}

bool TRunningProgram::WaitForOutput(std::string_view text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (output_.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (out_ < 0) return false;
    // One look at the output even when the time is up, so that a short wait
    // still reads what has come.
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0) {
      if (left.count() <= 0) return false;
      continue;
    }
    char block[4096];
    const ssize_t n = ::read(out_, block, sizeof block);
    if (n <= 0) {
      ::close(out_);
      out_ = -1;
      return output_.find(text) != std::string::npos;
    }
    output_.append(block, static_cast<std::size_t>(n));
  }
  return true;
}

void TRunningProgram::Interrupt() {
  if (pid_ > 0) ::kill(pid_, SIGINT);
}

void TRunningProgram::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

TProgramResult TRunningProgram::Wait(int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  WaitForOutput(std::string_view("\0", 1), std::chrono::seconds(timeoutSeconds));  // to its end
  TProgramResult result;
  int status = 0;
  if (pid_ > 0 && Reap(pid_, status, deadline) && WIFEXITED(status))
    result.ExitCode = WEXITSTATUS(status);
  pid_ = -1;
  result.Out = output_;
  result.Err = ReadFile(capture_.File("err")).value_or("");
  return result;
}

std::string KavrelProgram() { return KAVREL_CLI_PATH; }

}  // namespace kavrel::test
