// The proxy configuration of a Linux desktop lives in the environment, read
// the way command-line clients read it: "http_proxy" only in lower case (a web
// server's CGI programs see a request's "Proxy:" header as HTTP_PROXY), the
// others in either case, "all_proxy" for a scheme without its own, and
// "no_proxy" for the hosts reached directly.
#include "SystemProxy.h"

#include "System.h"
#include "Text.h"

namespace kavrel::platform {

namespace {

std::string FirstSet(std::initializer_list<std::string> names) {
  for (const std::string& name : names)
    if (auto value = GetEnvironment(name); value && !value->empty()) return *value;
  return "";
}

}  // namespace

TSystemProxy SystemProxyFor(std::string_view scheme) {
  const std::string name = std::string(scheme) + "_proxy";
  TSystemProxy result;
  result.Proxy = scheme == "http" ? FirstSet({name}) : FirstSet({name, UpperCase(name)});
  if (result.Proxy.empty()) result.Proxy = FirstSet({"all_proxy", "ALL_PROXY"});
  result.Bypass = FirstSet({"no_proxy", "NO_PROXY"});
  return result;
}

}  // namespace kavrel::platform
