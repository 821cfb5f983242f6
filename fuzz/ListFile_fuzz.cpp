// The updater stub's list files: the entries read from arbitrary text, and
// each target folder as the stub's macros make it.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "IniDocument.h"
#include "PathNames.h"
#include "ProcessFile.h"

namespace {

using kavrel::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<kavrel::stub::TListEntry> entries = kavrel::stub::ReadListEntries(text);
  const kavrel::TIniDocument list = kavrel::TIniDocument::Parse(text);
  const int count = list.ReadInteger("FILES", "COUNT", 0);
  // However large the count and the numbers, the work is that of the keys.
  Check(entries.size() <= list.KeyNames("FILES").size(), "no more entries than keys");
  int previous = 0;
  for (const kavrel::stub::TListEntry& entry : entries) {
    Check(entry.Index > previous && entry.Index <= count, "entries are numbered up to the count");
    previous = entry.Index;
    Check(entry.File.size() <= 128 && entry.Target.size() <= 128, "up to 128 characters");
    const std::string index = std::to_string(entry.Index);
    Check(list.ReadString("FILES", "FILE" + index, "").substr(0, 128) == entry.File,
          "the file is the FILE value");
    Check(list.ReadString("FILES", "TARGET" + index, "").substr(0, 128) == entry.Target,
          "the target is the TARGET value");
    const std::string folder = kavrel::stub::ExpandTargetMacros(entry.Target);
    Check(folder.empty() || kavrel::platform::EndsWithSeparator(folder),
          "a target folder ends with a separator");
  }
  return 0;
}
