// The system's own proxy configuration, as each platform keeps it.
#pragma once

#include <string>
#include <string_view>

namespace kavrel::platform {

struct TSystemProxy {
  std::string Proxy;   // the proxy for the scheme as configured, empty for none
  std::string Bypass;  // the hosts that are reached directly
};
TSystemProxy SystemProxyFor(std::string_view scheme);

}  // namespace kavrel::platform
