// The command line's help: one entry per command, shown all together by
// `kavrel help`, one at a time by `kavrel help COMMAND`, and as the manual
// page kavrel.1, so that the three never disagree.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

struct TCommandHelp {
  std::string_view Name;
  std::string_view Synopsis;     // the arguments after the command's name
  std::string_view Description;  // lines of at most 72 characters
  bool HostsEngine = false;      // takes -p, --answers, --json and --quiet
};

const std::vector<TCommandHelp>& CommandHelps();

// Everything: the usage line, every command, the options and exit statuses.
std::string UsageText();
// One command with the options it takes; nothing for an unknown name.
std::optional<std::string> CommandHelpText(std::string_view Name);
// The manual page in roff for man(1), for the program of version `Version`.
std::string ManualPage(std::string_view Version);

}  // namespace kavrel
