// A stand-in for an application that updates itself: each start appends one
// line to the file $KAVREL_TEST_RECORD, fields separated by tabs: its version
// (fixed when it is built), the start time in nanoseconds since the epoch,
// the current folder, then each argument.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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
  return out ? 0 : 1;
}
