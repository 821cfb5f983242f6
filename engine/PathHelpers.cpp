#include "PathHelpers.h"

#include "Files.h"
#include "Folders.h"
#include "PathNames.h"
#include "Registry.h"
#include "Text.h"

namespace kavrel {

namespace {

// Past this many insertions, or once the text has grown this long (a value
// has at most 2047 characters), macros are no longer expanded.
constexpr int kMaxMacroInsertions = 1024;
constexpr std::size_t kMaxExpandedLength = 32768;

}  // namespace

std::string AddBackslash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && !platform::EndsWithSeparator(out)) out += platform::kNativeSeparator;
  return out;
}

std::string MacroPathForm(std::string_view path) {
  std::string out = AddBackslash(path);
  // A drive path ("C:\Windows", also "C:x\") and, on systems with one root, a
  // path from the root lose the separator; anything else gets a full stop.
  const bool drive = out.size() > 3 && out[1] == ':';
  const bool rooted = platform::DriveRootLength(out) == 1 && out.size() > 1;
  if (drive || rooted)
    out.pop_back();
  else
    out += '.';
  return out;
}

std::string GetTempDir() { return AddBackslash(platform::TempFolder()); }

std::string GetDocumentsDir() { return platform::DocumentsFolder(); }

bool DirExists(std::string_view path) { return platform::DirectoryExists(path); }

bool ForceFolder(std::string_view path) {
  if (path.empty()) return true;
  std::string folder(path);
  if (platform::EndsWithSeparator(folder)) folder.pop_back();
  // Only a drive stands for itself; a short relative name is a folder to make.
  const bool drive = folder.size() == 2 && folder[1] == ':';
  const std::size_t cut = folder.find_last_of("\\/:");
  const std::string parent = cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
  if (folder.empty() || drive || DirExists(folder) || parent == folder) return true;
  return ForceFolder(parent) && platform::CreateFolder(folder);
}

std::string ExpandBracedMacros(std::string text,
                               const std::function<std::string(const std::string&)>& lookup) {
  std::size_t open = std::string::npos;
  int insertions = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (open == std::string::npos && text[i] == '{') {
      open = i;
    } else if (open != std::string::npos && text[i] == '}') {
      const std::string value =
          lookup(UpperCase(std::string_view(text).substr(open + 1, i - open - 1)));
      const std::size_t start = open;
      open = std::string::npos;
      if (!value.empty()) {
        if (++insertions > kMaxMacroInsertions || text.size() > kMaxExpandedLength) break;
        text.replace(start, i - start + 1, value);
        i = start;  // the inserted value is examined for macros too
        continue;
      }
    }
    ++i;
  }
  return text;
}

std::string FolderMacroValue(const std::string& name) {
  if (name == "WIN") return MacroPathForm(platform::WindowsFolder());
  if (name == "SYS") return MacroPathForm(platform::SystemFolder());
  if (name == "APP") return MacroPathForm(platform::GetCurrentDir());
  if (name == "TMP") return MacroPathForm(GetTempDir());
  if (name == "DOC") return MacroPathForm(GetDocumentsDir());
  if (name == "PF") {
    const auto key = platform::OpenRegistryKey(platform::TRegRoot::LocalMachine,
                                               "\\Software\\Microsoft\\Windows\\CurrentVersion",
                                               platform::TRegAccess::Read, false);
    if (key) return MacroPathForm(key->ReadString("ProgramFilesDir").value_or(""));
  }
  return {};
}

std::size_t PosNoCase(std::string_view needle, std::string_view text) {
  // An empty name occurs nowhere: a download without a file name must not
  // count as an application component.
  if (needle.empty()) return 0;
  const std::size_t pos = UpperCase(text).find(UpperCase(needle));
  return pos == std::string::npos ? 0 : pos + 1;
}

}  // namespace kavrel
