// `kavrel lint`: reads a control file as the engine will and names, by line,
// what would silently take a default or surprise its publisher.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

struct TLintFinding {
  int Line = 0;        // 1-based; 0 for the file as a whole
  bool Error = false;  // else a warning
  std::string Message;
};

struct TLintOptions {
  // Where machines fetch the control file from, when known: an https site
  // whose entries point at plain http is named.
  std::string Address;
  // The control file's own name, which no text may be fetched under.
  std::string FileName = "update.ini";
};

std::vector<TLintFinding> LintControlFile(std::string_view text, const TLintOptions& options);

// kavrel lint [--format=json] [--url ADDRESS] CONTROLFILE: exit status 1 when
// an error was found, 0 otherwise, 2 for a usage error.
int LintCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kavrel
