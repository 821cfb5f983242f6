// The test helpers only Windows has: the argument recorder, and scoped
// settings of the user's in the registry.
#include <windows.h>

#include <filesystem>
#include <stdexcept>

#include "TestSupport.h"
#include "WideText.h"

namespace kavrel::test {

namespace {

using platform::win32::Utf8;
using platform::win32::Wide;

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

HKEY CreateUserKey(const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot open HKEY_CURRENT_USER\\" + Utf8(path));
  return key;
}

std::optional<std::string> ReadValue(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  if (type == REG_DWORD) {
    DWORD number = 0;
    size = sizeof number;
    ::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
    return std::to_string(number);
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  ::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size);
  text.resize(wcsnlen(text.c_str(), text.size()));
  return Utf8(text);
}

void WriteText(HKEY key, const wchar_t* name, const std::string& value, DWORD type = REG_SZ) {
  const std::wstring wide = Wide(value);
  ::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

void WriteNumber(HKEY key, const wchar_t* name, DWORD value) {
  ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

std::string CopyRecorder(const std::string& path) {
  std::filesystem::copy_file(KAVREL_RECORDER_PATH, path,
                             std::filesystem::copy_options::overwrite_existing);
  return path;
}

TScopedInternetSettings::TScopedInternetSettings(std::optional<std::string> proxyServer,
                                                 const std::string& bypass) {
  HKEY key = CreateUserKey(kInternetSettings);
  const wchar_t* names[] = {L"ProxyEnable", L"ProxyServer", L"ProxyOverride"};
  for (int i = 0; i < 3; ++i) saved_[i] = ReadValue(key, names[i]);
  WriteNumber(key, L"ProxyEnable", proxyServer ? 1 : 0);
  WriteText(key, L"ProxyServer", proxyServer.value_or(""));
  WriteText(key, L"ProxyOverride", bypass);
  ::RegCloseKey(key);
}

TScopedInternetSettings::~TScopedInternetSettings() {
  HKEY key = CreateUserKey(kInternetSettings);
  if (saved_[0])
    WriteNumber(key, L"ProxyEnable", static_cast<DWORD>(std::stoul(*saved_[0])));
  else
    ::RegDeleteValueW(key, L"ProxyEnable");
  for (int i = 1; i < 3; ++i) {
    const wchar_t* name = i == 1 ? L"ProxyServer" : L"ProxyOverride";
    if (saved_[i])
      WriteText(key, name, *saved_[i]);
    else
      ::RegDeleteValueW(key, name);
  }
  ::RegCloseKey(key);
}

namespace {
constexpr wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
}

TScopedDocumentsFolder::TScopedDocumentsFolder(const std::string& path) {
  HKEY key = CreateUserKey(kUserShellFolders);
  saved_ = ReadValue(key, L"Personal");
  WriteText(key, L"Personal", path);
  ::RegCloseKey(key);
}

TScopedDocumentsFolder::~TScopedDocumentsFolder() {
  HKEY key = CreateUserKey(kUserShellFolders);
  // The usual value names the folder through %USERPROFILE%.
  if (saved_)
    WriteText(key, L"Personal", *saved_, REG_EXPAND_SZ);
  else
    ::RegDeleteValueW(key, L"Personal");
  ::RegCloseKey(key);
}

void DeleteUserRegistryKey(const std::string& path, bool alsoMachine) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    if (root == HKEY_LOCAL_MACHINE && !alsoMachine) break;
    ::RegDeleteTreeW(root, Wide(path).c_str());
    ::RegDeleteKeyW(root, Wide(path).c_str());
  }
}

}  // namespace kavrel::test
