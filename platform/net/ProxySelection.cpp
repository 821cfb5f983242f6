// Which proxy a transfer goes through. The session's proxy setting is either a
// list ("http=host:port ftp=host:port", or one "host:port" for every scheme),
// which is used as it stands with no bypass, or empty, in which case the
// system's own configuration decides.
#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>

#include "Internet.h"
#include "SystemProxy.h"
#include "Text.h"

namespace kavrel::platform {

namespace {

bool IsListSeparator(char c) { return c == ' ' || c == '\t' || c == ';' || c == ','; }

std::vector<std::string_view> SplitList(std::string_view list) {
  std::vector<std::string_view> items;
  std::size_t pos = 0;
  while (pos < list.size()) {
    while (pos < list.size() && IsListSeparator(list[pos])) ++pos;
    std::size_t end = pos;
    while (end < list.size() && !IsListSeparator(list[end])) ++end;
    if (end > pos) items.push_back(list.substr(pos, end - pos));
    pos = end;
  }
  return items;
}

// A proxy as the client library takes it: an HTTP proxy unless the entry names
// a scheme a proxy can speak. "ftp://host:port" in an "ftp=" entry is the
// classic way of writing the web proxy that serves ftp locations.
std::string ProxyAddress(std::string_view entry) {
  const std::size_t scheme = entry.find("://");
  if (scheme != std::string_view::npos) {
    const std::string name = LowerCase(entry.substr(0, scheme));
    if (name == "http" || name == "https" || name.rfind("socks", 0) == 0) return std::string(entry);
    entry.remove_prefix(scheme + 3);
  }
  while (!entry.empty() && entry.back() == '/') entry.remove_suffix(1);
  if (entry.empty()) return "";
  return "http://" + std::string(entry);
}

// The host of a location, lower case, without brackets, port or credentials.
std::string HostOf(std::string_view location) {
  const std::size_t scheme = location.find("://");
  if (scheme != std::string_view::npos) location.remove_prefix(scheme + 3);
  location = location.substr(0, location.find_first_of("/?#\\"));
  if (const std::size_t at = location.rfind('@'); at != std::string_view::npos)
    location.remove_prefix(at + 1);
  if (!location.empty() && location.front() == '[') {
    const std::size_t close = location.find(']');
    return LowerCase(location.substr(1, close == std::string_view::npos ? close : close - 1));
  }
  return LowerCase(location.substr(0, location.find(':')));
}

// An address with a prefix length ("10.0.0.0/8", "fd00::/8") against a host
// that is an address of the same family.
bool InAddressRange(const std::string& host, std::string_view range) {
  const std::size_t slash = range.find('/');
  const std::string base(range.substr(0, slash));
  std::array<unsigned char, 16> want{}, have{};
  const bool v6 = base.find(':') != std::string::npos;
  const int family = v6 ? AF_INET6 : AF_INET;
  if (inet_pton(family, base.c_str(), want.data()) != 1 ||
      inet_pton(family, host.c_str(), have.data()) != 1)
    return false;
  const int bits = v6 ? 128 : 32;
  int prefix = bits;
  if (slash != std::string_view::npos) {
    const std::string text(range.substr(slash + 1));
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos)
      return false;
    prefix = std::stoi(text);
    if (prefix > bits) return false;
  }
  const int whole = prefix / 8, rest = prefix % 8;
  if (std::memcmp(want.data(), have.data(), static_cast<std::size_t>(whole)) != 0) return false;
  if (rest == 0) return true;
  const auto mask = static_cast<unsigned char>(0xFF << (8 - rest));
  return (want[static_cast<std::size_t>(whole)] & mask) ==
         (have[static_cast<std::size_t>(whole)] & mask);
}

}  // namespace

std::string ProxyFromList(std::string_view list, std::string_view scheme) {
  std::string fallback;
  for (std::string_view item : SplitList(list)) {
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      if (fallback.empty()) fallback = ProxyAddress(item);
    } else if (LowerCase(item.substr(0, equals)) == scheme) {
      return ProxyAddress(item.substr(equals + 1));
    }
  }
  return fallback;
}

bool BypassesProxy(std::string_view bypassList, std::string_view location) {
  const std::string host = HostOf(location);
  if (host.empty()) return false;
  for (std::string_view item : SplitList(bypassList)) {
    if (item == "*") return true;
    if (item.find('/') != std::string_view::npos) {
      if (InAddressRange(host, item)) return true;
      continue;
    }
    std::string name = LowerCase(item);
    if (!name.empty() && name.front() == '[') {
      name = name.substr(1, name.find(']') - 1);
    } else if (std::count(name.begin(), name.end(), ':') == 1) {
      name.resize(name.find(':'));  // a port after a name or IPv4 address plays no part
    }
    while (!name.empty() && name.front() == '.') name.erase(name.begin());
    if (name.empty()) continue;
    if (host == name) return true;
    if (host.size() > name.size() &&
        host.compare(host.size() - name.size(), name.size(), name) == 0 &&
        host[host.size() - name.size() - 1] == '.')
      return true;
  }
  return false;
}

std::string ProxyForLocation(std::string_view proxySetting, std::string_view location) {
  const std::string scheme = LowerCase(SchemeOf(location));
  if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "ftps") return "";
  if (!Trim(proxySetting).empty()) return ProxyFromList(proxySetting, scheme);
  const TSystemProxy system = SystemProxyFor(scheme);
  if (system.Proxy.empty() || BypassesProxy(system.Bypass, location)) return "";
  return ProxyAddress(system.Proxy);
}

bool IsWebProxy(std::string_view proxy) {
  const std::string scheme = LowerCase(SchemeOf(proxy));
  return scheme == "http" || scheme == "https";
}

}  // namespace kavrel::platform
