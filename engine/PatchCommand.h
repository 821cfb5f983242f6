// The patch utility's command line, as the engine and the updater stub start
// it: the utility, "-v" when they log, the patch file and the file to patch,
// and with a log the redirection text the utility reads as its last arguments.
#pragma once

#include <string>
#include <vector>

namespace kavrel {

inline constexpr const char* kPatchUtilityName = "patcher.exe";

// The utility in the first of these folders that holds one, made runnable
// (one that arrived with an update carries no permission to run yet);
// otherwise its bare name, for the system's own search.
std::string FindPatchUtility(const std::vector<std::string>& folders);

// Each path one argument in native form; `log` empty for none.
std::string PatchCommandLine(const std::string& utility, const std::string& patchFile,
                             const std::string& file, const std::string& log);

}  // namespace kavrel
