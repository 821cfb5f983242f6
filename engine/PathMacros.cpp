// The macros {WIN}, {SYS}, {APP}, {TMP}, {DOC} and {PF} of control-file paths.
#include "Files.h"
#include "Folders.h"
#include "Kavrel.h"
#include "PathHelpers.h"
#include "Registry.h"
#include "Text.h"

namespace kavrel {

namespace {

// A value that names its own macro, directly or through others, would be
// expanded for ever. Past this many insertions, or once the text has grown this
// long (far more than any real path: a value has at most 2047 characters), the
// text is left as it stands.
constexpr int kMaxMacroInsertions = 1024;
constexpr std::size_t kMaxExpandedLength = 32768;

}  // namespace

std::string TKavrel::ExpandMacros(std::string Text) {
  if (OnConvertPrefix) OnConvertPrefix(*this, Text);
  std::size_t open = std::string::npos;
  int insertions = 0;
  for (std::size_t i = 0; i < Text.size();) {
    if (open == std::string::npos && Text[i] == '{') {
      open = i;
    } else if (open != std::string::npos && Text[i] == '}') {
      std::string value;
      LookupMacro(UpperCase(std::string_view(Text).substr(open + 1, i - open - 1)), value);
      const std::size_t start = open;
      open = std::string::npos;
      if (!value.empty()) {
        if (++insertions > kMaxMacroInsertions || Text.size() > kMaxExpandedLength) break;
        Text.replace(start, i - start + 1, value);
        i = start;  // the inserted value is examined for macros too
        continue;
      }
    }
    ++i;
  }
  return Text;
}

void TKavrel::LookupMacro(const std::string& Name, std::string& Value) {
  if (Name == "WIN") {
    Value = MacroPathForm(platform::WindowsFolder());
  } else if (Name == "SYS") {
    Value = MacroPathForm(platform::SystemFolder());
  } else if (Name == "APP") {
    Value = MacroPathForm(platform::GetCurrentDir());
  } else if (Name == "TMP") {
    Value = MacroPathForm(GetTempDir());
  } else if (Name == "DOC") {
    Value = MacroPathForm(GetDocumentsDir());
  } else if (Name == "PF") {
    const auto key = platform::OpenRegistryKey(platform::TRegRoot::LocalMachine,
                                               "\\Software\\Microsoft\\Windows\\CurrentVersion",
                                               platform::TRegAccess::Read, false);
    if (key) Value = MacroPathForm(key->ReadString("ProgramFilesDir").value_or(""));
  }
}

}  // namespace kavrel
