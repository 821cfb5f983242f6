// The patch utility's own work: `patcher.exe [-v] PATCHFILE FILE`, as the
// engine and the updater stub start it. What they append to send the
// progress to their log arrives as the last arguments: ">> LOG", ">>LOG", or
// ">>" glued to FILE and LOG after it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kavrel::delta {

struct TUtilityArguments {
  bool Verbose = false;
  std::string Patch, File;
  std::string Log;  // empty: progress and failures to the standard streams
};

// Nothing when they are not of that form.
std::optional<TUtilityArguments> ParseUtilityArguments(std::vector<std::string> args);

// Exit statuses: 0 only when the file is the new version now; 2 when the file
// is not the one the patch was made from (nothing written); 1 for any other
// failure (the file unchanged); 3 for arguments not of the form above.
int RunPatchUtility(const std::vector<std::string>& args);

}  // namespace kavrel::delta
