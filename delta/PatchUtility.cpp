#include "PatchUtility.h"

#include <cstdio>
#include <exception>

#include "Patch.h"
#include "UpdateLog.h"
#include "UtilityResource.h"

namespace kavrel::delta {

std::optional<TUtilityArguments> ParseUtilityArguments(std::vector<std::string> args) {
  TUtilityArguments parsed;
  if (!args.empty() && args.front() == "-v") {
    parsed.Verbose = true;
    args.erase(args.begin());
  }
  if (args.size() >= 3 && args[1].size() > 2 && args[1].ends_with(">>")) {
    // "FILE>> LOG": the redirection glued to the file's name.
    args[1].resize(args[1].size() - 2);
    args.insert(args.begin() + 2, ">>");
  }
  if (args.size() < 2 || args[0].empty() || args[1].empty()) return std::nullopt;
  parsed.Patch = args[0];
  parsed.File = args[1];
  if (args.size() == 2) return parsed;
  const std::string& redirect = args[2];
  if (!redirect.starts_with(">>")) return std::nullopt;
  if (redirect.size() > 2 && args.size() == 3)
    parsed.Log = redirect.substr(2);
  else if (redirect.size() == 2 && args.size() == 4)
    parsed.Log = args[3];
  if (parsed.Log.empty()) return std::nullopt;
  return parsed;
}

int RunPatchUtility(const std::vector<std::string>& args) {
  const auto parsed = ParseUtilityArguments(args);
  if (!parsed) {
    std::fprintf(stderr, "patcher.exe, %s\nusage: patcher.exe [-v] PATCHFILE FILE [>> LOG]\n",
                 resources::kUtilityMark.data());
    return 3;
  }
  // A log that cannot be written loses the lines, never the patch.
  const auto say = [&parsed](std::string_view line, bool always) {
    if (!parsed->Verbose && !always) return;
    if (parsed->Log.empty()) {
      // Each line as it happens: a caller reads the progress through a pipe.
      std::FILE* stream = always ? stderr : stdout;
      std::fprintf(stream, "%.*s\n", static_cast<int>(line.size()), line.data());
      std::fflush(stream);
      return;
    }
    try {
      AppendLogLine(parsed->Log, "patcher: " + std::string(line));
    } catch (const std::exception&) {
    }
  };
  say("applying " + parsed->Patch + " to " + parsed->File, false);
  const TPatchOutcome outcome =
      ApplyPatch(parsed->Patch, parsed->File, [&say](std::string_view step) { say(step, false); });
  say(outcome.Detail, !outcome.Succeeded());
  return ExitStatus(outcome.Result);
}

}  // namespace kavrel::delta
