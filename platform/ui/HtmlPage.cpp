#include "HtmlPage.h"

#include "Internet.h"
#include "Text.h"

namespace kavrel::platform {

namespace {

// The local path of a file: address: "file:///dir/page.htm",
// "file://localhost/dir/page.htm" or "file:/dir/page.htm".
std::optional<std::string> FileAddressPath(std::string_view rest) {
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !SameText(host, "localhost")) return std::nullopt;
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  std::string path = PercentDecode(rest);
  // An escaped NUL would cut the path short where the system reads it.
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

}  // namespace

TPageAddress ParsePageAddress(std::string_view address) {
  if (address.empty()) return {};
  const std::string_view scheme = SchemeOf(address);
  if (scheme.empty()) return {TPageKind::LocalFile, std::string(address)};
  if (SameText(scheme, "http") || SameText(scheme, "https"))
    return {TPageKind::Remote, std::string(address)};
  if (SameText(scheme, "file")) {
    if (auto path = FileAddressPath(address.substr(scheme.size() + 1)))
      return {TPageKind::LocalFile, std::move(*path)};
  }
  return {};
}

std::optional<std::string> FetchPage(std::string_view url, std::size_t limit,
                                     std::function<void()> idle) {
  auto session = TInternetSession::Open("TKavrel", "");
  if (!session) return std::nullopt;
  session->SetConnectTimeout(30000);
  if (idle)
    session->SetIdleHandler([idle = std::move(idle)] {
      idle();
      return true;
    });
  const auto request = session->OpenUrl(url, THttpRequestOptions{});
  if (!request || request->StatusCode() < 200 || request->StatusCode() > 299) return std::nullopt;
  if (const auto length = request->ContentLength();
      length && static_cast<std::uint64_t>(*length) > limit)
    return std::nullopt;
  std::string body;
  char block[4096];
  while (true) {
    std::size_t count = 0;
    if (!request->Read(block, sizeof block, count)) return std::nullopt;
    if (count == 0) return body;
    if (body.size() + count > limit) return std::nullopt;
    body.append(block, count);
  }
}

}  // namespace kavrel::platform
