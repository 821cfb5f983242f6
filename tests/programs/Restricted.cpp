// Starts a program under the limits a fault test needs, then becomes it:
//   restricted [--file-size BYTES] [--as-nobody] -- PROGRAM [ARGS...]
// --file-size caps every file the program writes and ignores SIGXFSZ, so
// that a write past the cap fails with EFBIG as on a full disk (an ignored
// signal stays ignored across exec). --as-nobody drops to the user and group
// "nobody", without supplementary groups.
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--file-size") == 0 && i + 1 < argc) {
      const rlim_t bytes = std::strtoull(argv[++i], nullptr, 10);
      const rlimit limit{bytes, bytes};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0 || ::signal(SIGXFSZ, SIG_IGN) == SIG_ERR)
        return std::perror("file size limit"), 125;
    } else if (std::strcmp(argv[i], "--as-nobody") == 0) {
      constexpr uid_t kNobody = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
        return std::perror("nobody"), 125;
    } else {
      std::fprintf(stderr, "restricted: unknown option %s\n", argv[i]);
      return 125;
    }
  }
  if (i + 1 >= argc) return std::fprintf(stderr, "restricted: no program\n"), 125;
  ::execv(argv[i + 1], argv + i + 1);
  std::perror(argv[i + 1]);
  return 126;
}
