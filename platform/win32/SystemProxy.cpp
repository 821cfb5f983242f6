// The proxy configuration of a Windows user: the Internet settings in the
// user's registry, which the Internet client library itself follows when a
// session leaves the choice to the system. "ProxyServer" is one "host:port"
// for every scheme or a list of "scheme=host:port" entries; "ProxyOverride"
// lists the hosts reached directly, separated by ";", with "*" wildcards.
#include "SystemProxy.h"

#include <windows.h>

#include <optional>

#include "ProxySelection.h"
#include "Text.h"
#include "WideText.h"

namespace kavrel::platform {

namespace {

constexpr wchar_t kSettingsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::optional<DWORD> ReadNumber(HKEY key, const wchar_t* name) {
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    return std::nullopt;
  return value;
}

std::string ReadText(HKEY key, const wchar_t* name) {
  DWORD size = 0, type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
    return "";
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS)
    return "";
  text.resize(wcsnlen(text.c_str(), text.size()));
  return win32::Utf8(text);
}

// An override entry in the form the bypass test reads: "*.example.com" is the
// domain ".example.com", "10.*" and "192.168.*" are address ranges. Entries
// the test cannot express ("<local>", wildcards inside names) are left out;
// the library still honours them for its own choice.
std::string BypassEntry(std::string_view item) {
  item = TrimView(item);
  if (item.empty() || item.front() == '<') return "";
  if (item == "*") return "*";
  if (item.substr(0, 2) == "*.") {
    item.remove_prefix(1);
    return item.find('*') == std::string_view::npos ? std::string(item) : "";
  }
  if (item.find('*') == std::string_view::npos) return std::string(item);
  // Whole leading octets followed by ".*".
  std::string octets;
  int count = 0;
  while (item.size() >= 2 && item.substr(item.size() - 2) == ".*") item.remove_suffix(2);
  for (std::string_view rest = item; !rest.empty();) {
    const std::size_t dot = rest.find('.');
    const std::string_view part = rest.substr(0, dot);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != part.npos)
      return "";
    octets += (count > 0 ? "." : "") + std::string(part);
    ++count;
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
  }
  if (count == 0 || count > 3) return "";
  for (int i = count; i < 4; ++i) octets += ".0";
  return octets + "/" + std::to_string(count * 8);
}

}  // namespace

TSystemProxy SystemProxyFor(std::string_view scheme) {
  TSystemProxy result;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return result;
  if (ReadNumber(key, L"ProxyEnable").value_or(0) != 0) {
    result.Proxy = ProxyFromList(ReadText(key, L"ProxyServer"), LowerCase(scheme));
    const std::string overrides = ReadText(key, L"ProxyOverride");
    std::size_t pos = 0;
    while (pos <= overrides.size()) {
      std::size_t end = overrides.find(';', pos);
      if (end == std::string::npos) end = overrides.size();
      const std::string entry = BypassEntry(std::string_view(overrides).substr(pos, end - pos));
      if (!entry.empty()) result.Bypass += (result.Bypass.empty() ? "" : ",") + entry;
      pos = end + 1;
    }
  }
  RegCloseKey(key);
  return result;
}

}  // namespace kavrel::platform
