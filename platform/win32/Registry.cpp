// The Windows registry. A key object names its key; each call opens it for
// just that call, so that the object can be copied and moved freely.
#include "Registry.h"

#include <windows.h>

#include <vector>

#include "Errors.h"
#include "PathNames.h"
#include "RegistryKeyPath.h"
#include "WideText.h"

namespace kavrel::platform {

namespace {

HKEY RootKey(TRegRoot root) {
  return root == TRegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

REGSAM Rights(TRegAccess access) {
  return access == TRegAccess::Full ? KEY_READ | KEY_WRITE : KEY_READ;
}

class TOpenKey {
 public:
  TOpenKey(TRegRoot root, const std::string& path, REGSAM rights) {
    error_ = ::RegOpenKeyExW(RootKey(root), win32::Wide(path).c_str(), 0, rights, &key_);
    if (error_ != ERROR_SUCCESS) key_ = nullptr;
  }
  ~TOpenKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  TOpenKey(const TOpenKey&) = delete;
  TOpenKey& operator=(const TOpenKey&) = delete;
  HKEY Get() const { return key_; }
  LONG Error() const { return error_; }

 private:
  HKEY key_ = nullptr;
  LONG error_ = ERROR_SUCCESS;
};

}  // namespace

std::optional<TRegistryKey> OpenRegistryKey(TRegRoot root, std::string_view path, TRegAccess access,
                                            bool create) {
  const std::string key = NormalKeyPath(path);
  HKEY opened = nullptr;
  LONG result = ERROR_SUCCESS;
  if (create) {
    result = ::RegCreateKeyExW(RootKey(root), win32::Wide(key).c_str(), 0, nullptr,
                               REG_OPTION_NON_VOLATILE, Rights(access), nullptr, &opened, nullptr);
  } else {
    result = ::RegOpenKeyExW(RootKey(root), win32::Wide(key).c_str(), 0, Rights(access), &opened);
  }
  if (result != ERROR_SUCCESS) return std::nullopt;
  ::RegCloseKey(opened);
  return TRegistryKey(root, key, access);
}

std::optional<std::string> TRegistryKey::ReadString(std::string_view name) const {
  const TOpenKey key(root_, path_, KEY_QUERY_VALUE);
  if (key.Get() == nullptr) return std::nullopt;
  const std::wstring value = win32::Wide(name);
  std::vector<wchar_t> buffer(256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    const LONG result = ::RegQueryValueExW(key.Get(), value.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(bytes / sizeof(wchar_t) + 2);
      continue;
    }
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    // The stored text may or may not end with its terminating zero.
    std::size_t length = bytes / sizeof(wchar_t);
    while (length > 0 && buffer[length - 1] == L'\0') --length;
    return win32::Utf8(std::wstring_view(buffer.data(), length));
  }
  return std::nullopt;
}

void TRegistryKey::WriteString(std::string_view name, std::string_view value) {
  if (access_ != TRegAccess::Full)
    throw EInOutError("Registry key " + path_ + " is open for reading only", ERROR_ACCESS_DENIED);
  const TOpenKey key(root_, path_, KEY_SET_VALUE);
  LONG result = key.Error();
  if (key.Get() != nullptr) {
    const std::wstring text = win32::Wide(value);
    result = ::RegSetValueExW(key.Get(), win32::Wide(name).c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  if (result != ERROR_SUCCESS)
    throw EInOutError("Cannot write the registry value " + std::string(name) + " of " + path_ +
                          ": " + SystemErrorText(static_cast<int>(result)),
                      static_cast<int>(result));
}

}  // namespace kavrel::platform
