#include "PatchCommand.h"

#include "CommandLine.h"
#include "Files.h"
#include "PathHelpers.h"
#include "PathNames.h"

namespace kavrel {

std::string FindPatchUtility(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    const std::string path = AddBackslash(folder) + kPatchUtilityName;
    if (platform::FileExists(path)) {
      platform::MakeExecutable(path);
      return platform::ToNativePath(path);
    }
  }
  return kPatchUtilityName;
}

std::string PatchCommandLine(const std::string& utility, const std::string& patchFile,
                             const std::string& file, const std::string& log) {
  std::string command = QuoteArgument(utility) + (log.empty() ? " " : " -v ") +
                        QuoteArgument(platform::ToNativePath(patchFile)) + " " +
                        QuoteArgument(platform::ToNativePath(file));
  if (!log.empty()) command += " >> " + QuoteArgument(platform::ToNativePath(log));
  return command;
}

}  // namespace kavrel
