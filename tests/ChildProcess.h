// Runs a program to its end as a real child process, with its output caught.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kavrel::test {

struct TProgramResult {
  int ExitCode = -1;  // -1 when it did not end normally
  std::string Out;
  std::string Err;
};

// Runs `args` (args[0] is the program's path) in `folder` with the extra
// environment variables given, waiting at most `timeoutSeconds`.
TProgramResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                          const std::vector<std::pair<std::string, std::string>>& env = {},
                          int timeoutSeconds = 60);

// The path of the kavrel command-line program built beside the tests.
std::string KavrelProgram();

}  // namespace kavrel::test
