// The parts of choosing a proxy that the client and its tests use apart.
#pragma once

#include <string>
#include <string_view>

namespace kavrel::platform {

// The proxy a list gives for a scheme: its "scheme=" entry, else its entry
// without a scheme, else none (""). The result carries the proxy's own scheme
// ("http://host:port").
std::string ProxyFromList(std::string_view list, std::string_view scheme);
// True when the location's host is in a bypass list: names (a leading "." or
// none: the domain and its subdomains), addresses, address ranges with a
// prefix length, or "*" for every host. Items are separated by commas or blanks.
bool BypassesProxy(std::string_view bypassList, std::string_view location);
// True for a proxy spoken to in HTTP, which answers an ftp location with an
// HTTP response; false for none and for a SOCKS proxy.
bool IsWebProxy(std::string_view proxy);

}  // namespace kavrel::platform
