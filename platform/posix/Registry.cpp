// The registry as one hive file per root, in INI form: each key is a section
// named by its path below the root ("Software\Vendor\App"), each value a key of
// that section. The hives lie under $XDG_CONFIG_HOME/kavrel/registry (current
// user) and /etc/kavrel/registry (local machine), both moved by
// KAVREL_REGISTRY_DIR. Full access means this user may write the hive file.
#include "Registry.h"

#include <string>
#include <vector>

#include "Errors.h"
#include "Files.h"
#include "IniDocument.h"
#include "PathNames.h"
#include "RegistryKeyPath.h"
#include "System.h"
#include "Text.h"

namespace kavrel::platform {

namespace {

std::string HiveFolder(TRegRoot root) {
  if (auto dir = GetEnvironment("KAVREL_REGISTRY_DIR"); dir && !dir->empty()) return *dir;
  if (root == TRegRoot::LocalMachine) return "/etc/kavrel/registry";
  auto config = GetEnvironment("XDG_CONFIG_HOME");
  if (!config || config->empty()) config = GetEnvironment("HOME").value_or(".") + "/.config";
  return *config + "/kavrel/registry";
}

std::string HivePath(TRegRoot root) {
  return HiveFolder(root) +
         (root == TRegRoot::LocalMachine ? "/HKEY_LOCAL_MACHINE.ini" : "/HKEY_CURRENT_USER.ini");
}

// A key path as a section name that the INI reader gives back unchanged: "%",
// "]", control characters and blanks at either end are written as %HH.
std::string SectionName(const std::string& keyPath) {
  return PercentEncode(keyPath, [&](std::size_t i) {
    const auto c = static_cast<unsigned char>(keyPath[i]);
    const bool end = i == 0 || i + 1 == keyPath.size();
    return c == '%' || c == ']' || c < 0x20 || c == 0x7F || (end && (c == ' ' || c == '\t'));
  });
}

// The key path a section names.
std::string KeyPathOf(std::string_view section) { return NormalKeyPath(PercentDecode(section)); }

TIniDocument LoadHive(TRegRoot root) {
  const auto text = ReadWholeFile(HivePath(root));
  return text ? TIniDocument::Parse(*text) : TIniDocument();
}

// Keys this system holds without any hive: the program-files folder that the
// local machine names where its hive says nothing of that key.
const TIniDocument& BuiltInKeys(TRegRoot root) {
  static const TIniDocument machine =
      TIniDocument::Parse("[Software\\Microsoft\\Windows\\CurrentVersion]\nProgramFilesDir=/opt\n");
  static const TIniDocument none;
  return root == TRegRoot::LocalMachine ? machine : none;
}

bool KeyIn(const TIniDocument& hive, const std::string& key) {
  for (const std::string& section : hive.SectionNames()) {
    const std::string name = KeyPathOf(section);
    if (SameText(name, key)) return true;
    if (name.size() > key.size() && name[key.size()] == '\\' &&
        SameText(std::string_view(name).substr(0, key.size()), key))
      return true;
  }
  return false;
}

}  // namespace

std::optional<TRegistryKey> OpenRegistryKey(TRegRoot root, std::string_view path, TRegAccess access,
                                            bool create) {
  const std::string key = NormalKeyPath(path);
  const std::string hivePath = HivePath(root);
  if (access == TRegAccess::Full && !CanWrite(hivePath)) return std::nullopt;
  const TIniDocument hive = LoadHive(root);
  if (key.empty() || KeyIn(hive, key) || KeyIn(BuiltInKeys(root), key))
    return TRegistryKey(root, key, access);
  if (!create || !CanWrite(hivePath)) return std::nullopt;
  TIniDocument updated = hive;
  updated.AddSection(SectionName(key));
  if (!ForceDirectories(HiveFolder(root))) return std::nullopt;
  try {
    WriteFileAtomically(hivePath, updated.ToText());
  } catch (const EInOutError&) {
    return std::nullopt;
  }
  return TRegistryKey(root, key, access);
}

std::optional<std::string> TRegistryKey::ReadString(std::string_view name) const {
  const TIniDocument hive = LoadHive(root_);
  for (const std::string& section : hive.SectionNames())
    if (SameText(KeyPathOf(section), path_)) return hive.Find(section, name);
  return BuiltInKeys(root_).Find(path_, name);
}

void TRegistryKey::WriteString(std::string_view name, std::string_view value) {
  const std::string hivePath = HivePath(root_);
  if (access_ != TRegAccess::Full)
    throw EInOutError("Registry key " + path_ + " is open for reading only", 5);
  TIniDocument hive = LoadHive(root_);
  // The section reads find: the first one naming the key.
  std::string section = SectionName(path_);
  for (const std::string& existing : hive.SectionNames()) {
    if (SameText(KeyPathOf(existing), path_)) {
      section = existing;
      break;
    }
  }
  hive.WriteString(section, name, value);
  if (!ForceDirectories(HiveFolder(root_)))
    throw EInOutError("Cannot create the registry folder " + HiveFolder(root_), 5);
  WriteFileAtomically(hivePath, hive.ToText());
}

}  // namespace kavrel::platform
