// Where the page of the HTML dialog comes from: a file on disk (a path with
// either separator, or a file: address), or a web server (http: and https:
// addresses, fetched into memory through the Internet client).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kavrel::platform {

enum class TPageKind { Unsupported, LocalFile, Remote };

struct TPageAddress {
  TPageKind Kind = TPageKind::Unsupported;
  // LocalFile: the path, a file: address decoded to one; Remote: the address.
  std::string Location;
};

// Sorts an address. A file: address names a file on this machine only (no
// host, or "localhost"); its %-escapes are decoded. Any other scheme, and an
// empty address, is unsupported. A single letter before ":" is a drive, so
// "C:\page.htm" is a path.
TPageAddress ParsePageAddress(std::string_view address);

// A larger page is not shown at all rather than shown cut off.
inline constexpr std::size_t kMaxPageSize = 4 * 1024 * 1024;

// The body of an http: or https: page, fetched with a session of its own (no
// proxy). Nothing when there is no 2xx answer, the transfer fails or the body
// is larger than `limit`. `idle` runs while the transfer waits.
std::optional<std::string> FetchPage(std::string_view url, std::size_t limit,
                                     std::function<void()> idle = {});

}  // namespace kavrel::platform
