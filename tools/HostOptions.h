// The options every command that hosts an engine takes:
//   -p NAME=VALUE   set a published property (repeatable, applied in order)
//   --answers LIST  comma-separated answers for the run's questions
//   --list-files    show the files the run selects, as the launcher sees them
//   --json, --quiet the form of the status messages
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kavrel {

class TKavrel;

// How a command prints the run's status messages: as log lines, as JSON
// objects a line (--json), or not at all (--quiet).
enum class TOutputForm { Lines, Json, Quiet };

struct THostOptions {
  std::vector<std::pair<std::string, std::string>> properties;
  std::vector<std::string> answers;
  std::vector<std::string> operands;  // what is left once the options are taken
  bool listFiles = false;             // --list-files
  TOutputForm output = TOutputForm::Lines;
};

// Nothing and a message in `error` when the arguments do not fit.
std::optional<THostOptions> ParseHostOptions(const std::vector<std::string>& args,
                                             std::string& error);
// Applies the -p settings in order; a refusal's message in `error`.
bool ApplyProperties(TKavrel& engine, const THostOptions& options, std::string& error);

}  // namespace kavrel
