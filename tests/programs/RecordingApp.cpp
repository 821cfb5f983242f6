// A stand-in for an application that updates itself: each start appends one
// line to the file $KAVREL_TEST_RECORD, fields separated by tabs: its version
// (fixed when it is built), the start time in nanoseconds since the epoch,
// the current folder, then each argument. With $KAVREL_TEST_LINGER it then
// stays that many milliseconds before it ends, as a running application.
// With $KAVREL_TEST_WATCHED it appends, as it ends, one more line: "end", a
// tab, and what that file held at that moment (nothing when it was missing),
// so that a test sees what another program did before this one ended.
// A version that fails to start: with $KAVREL_TEST_FAIL_VERSION naming this
// one, it ends right after its line with exit status 1, or by a crash
// (SIGSEGV) where $KAVREL_TEST_FAIL_HOW is "crash". With $KAVREL_TEST_CONFIRM
// (a kavrel program) it first runs "kavrel confirm", as an application that
// confirms its start.
#include <chrono>
#ifdef _WIN32
#include <windows.h>
#endif

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#ifndef RECORDING_APP_VERSION
#error "RECORDING_APP_VERSION must be defined"
#endif

int main(int argc, char** argv) {
  const char* record = std::getenv("KAVREL_TEST_RECORD");
  if (record == nullptr) return 2;
  std::error_code error;
  const std::string folder = std::filesystem::current_path(error).string();
  if (error) return 2;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  std::ofstream out(record, std::ios::app);
  out << RECORDING_APP_VERSION << '\t'
      << std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() << '\t' << folder;
  for (int i = 1; i < argc; ++i) out << '\t' << argv[i];
  out << '\n';
  out.close();
  if (const char* failing = std::getenv("KAVREL_TEST_FAIL_VERSION");
      failing != nullptr && std::string(failing) == RECORDING_APP_VERSION) {
    const char* how = std::getenv("KAVREL_TEST_FAIL_HOW");
    if (how != nullptr && std::string(how) == "crash") {
#ifdef _WIN32
      // An access violation: Windows ends the program with its exception
      // code, without a crash dialog that would hold it until dismissed.
      ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
      *static_cast<volatile int*>(nullptr) = 0;
#else
      // With the default action: a sanitizer's handler would turn the
      // signal into an abort.
      std::signal(SIGSEGV, SIG_DFL);
      std::raise(SIGSEGV);
#endif
    }
    return 1;
  }
  if (const char* kavrel = std::getenv("KAVREL_TEST_CONFIRM")) {
    std::string command = "\"" + std::string(kavrel) + "\" confirm";
#ifdef _WIN32
    command = "\"" + command + "\"";  // cmd /c drops the outer pair
#endif
    if (std::system(command.c_str()) != 0) return 3;
  }
  if (const char* linger = std::getenv("KAVREL_TEST_LINGER"))
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(linger)));
  if (const char* watched = std::getenv("KAVREL_TEST_WATCHED")) {
    std::ifstream in(watched, std::ios::binary);
    std::ofstream(record, std::ios::app)
        << "end\t" << std::string(std::istreambuf_iterator<char>(in), {}) << '\n';
  }
  return out ? 0 : 1;
}
