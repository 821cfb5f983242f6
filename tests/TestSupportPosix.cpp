// The test helpers that only POSIX systems have: permission bits, scripts,
// other users.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"

namespace kavrel::test {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return 0666 & ~mask;
}

void WriteScript(const std::string& path, const std::string& script, mode_t mode) {
  WriteFile(path, "#!/bin/sh\n" + script + "\n");
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

bool RunUnprivileged(const std::function<bool()>& check) {
  if (::geteuid() != 0) return check();
  return RunInChild([&] {
    constexpr uid_t kNobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 &&
           check();
  });
}

bool RunInChild(const std::function<bool()>& check) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) ::_exit(check() ? 0 : 1);
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace kavrel::test
