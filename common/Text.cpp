#include "Text.h"

#include <cctype>
#include <limits>
#include <optional>
#include <utility>

namespace kavrel {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

static char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

static bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimView(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::string FormatArg(std::string_view pattern, std::string_view arg) {
  std::string out;
  out.reserve(pattern.size() + arg.size());
  bool filled = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (pattern[i + 1] == 's' && !filled) {
        out += arg;
        filled = true;
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

std::int64_t TNumberScan::Value() const {
  // Negated as an unsigned number: a magnitude of 2^63 (or one that wrapped)
  // must not overflow a signed negation.
  return static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
}

static int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view SchemeOf(std::string_view address) {
  const std::size_t colon = address.find(':');
  if (colon == std::string_view::npos || colon < 2) return {};
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = address[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!(letter || (i > 0 && other))) return {};
  }
  return address.substr(0, colon);
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int high = i + 2 < text.size() ? DigitValue(text[i + 1], true) : -1;
    const int low = high >= 0 ? DigitValue(text[i + 2], true) : -1;
    if (text[i] == '%' && low >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string PercentEncode(std::string_view text, const std::function<bool(std::size_t)>& escapeAt) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (escapeAt(i)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string EscapeUrlPart(std::string_view text) {
  return PercentEncode(text, [text](std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    return !(std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~');
  });
}

std::string FtpUrlPath(std::string_view path) {
  std::string out;
  std::size_t pos = 0;
  if (!path.empty() && path.front() == '/') {
    out = "/%2F";
    pos = 1;
  }
  while (pos < path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    if (end > pos) out += "/" + EscapeUrlPart(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

TNumberScan ScanInteger(std::string_view text) {
  TNumberScan scan;
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    scan.negative = text[i] == '-';
    ++i;
  }
  if (i < text.size() && text[i] == '$') {
    scan.hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    scan.hex = true;
    i += 2;
  }
  const std::size_t firstDigit = i;
  const unsigned base = scan.hex ? 16 : 10;
  for (; i < text.size(); ++i) {
    const int d = DigitValue(text[i], scan.hex);
    if (d < 0) break;
    if (scan.magnitude > (std::numeric_limits<std::uint64_t>::max() - d) / base)
      scan.overflow = true;
    scan.magnitude = scan.magnitude * base + static_cast<unsigned>(d);
  }
  scan.valid = i == text.size() && i > firstDigit;
  return scan;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  const TNumberScan scan = ScanInteger(text);
  if (!scan.valid || scan.overflow) return std::nullopt;
  if (scan.hex) {
    if (scan.magnitude > 0xFFFFFFFFull) return std::nullopt;
    const auto bits = static_cast<std::uint32_t>(scan.magnitude);
    const auto value = static_cast<std::int32_t>(bits);
    return scan.negative ? static_cast<std::int32_t>(0u - bits) : value;
  }
  const std::int64_t limit = scan.negative ? 2147483648LL : 2147483647LL;
  if (scan.magnitude > static_cast<std::uint64_t>(limit)) return std::nullopt;
  return static_cast<std::int32_t>(scan.Value());
}

std::optional<std::int64_t> ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != text.npos)
    return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  return value;
}

std::string ExpandLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\r';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TruncateCodePoints(std::string_view text, std::size_t max) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) {
      if (count == max) return std::string(text.substr(0, i));
      ++count;
    }
  }
  return std::string(text);
}

namespace {

// The authority of a URL ("user:pw@host:port") and where it starts; nothing
// for a location without "scheme://".
std::optional<std::pair<std::size_t, std::string_view>> Authority(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos || SchemeOf(url).size() != scheme) return std::nullopt;
  const std::size_t start = scheme + 3;
  const std::size_t end = url.find_first_of("/\\?#", start);
  return std::pair{start,
                   url.substr(start, end == std::string_view::npos ? url.npos : end - start)};
}

}  // namespace

std::string WithoutURLCredentials(std::string_view URL) {
  const auto authority = Authority(URL);
  if (!authority) return std::string(URL);
  const std::size_t at = authority->second.rfind('@');
  if (at == std::string_view::npos) return std::string(URL);
  return std::string(URL.substr(0, authority->first)) +
         std::string(URL.substr(authority->first + at + 1));
}

std::string OriginOf(std::string_view URL) {
  const auto authority = Authority(URL);
  if (!authority) return {};
  const std::string scheme = LowerCase(SchemeOf(URL));
  std::string_view hostPort = authority->second;
  if (const std::size_t at = hostPort.rfind('@'); at != std::string_view::npos)
    hostPort.remove_prefix(at + 1);
  // A port follows the last colon outside an IPv6 address's brackets.
  std::string_view host = hostPort, port;
  const std::size_t colon = hostPort.rfind(':');
  if (colon != std::string_view::npos && hostPort.find(']', colon) == std::string_view::npos) {
    host = hostPort.substr(0, colon);
    port = hostPort.substr(colon + 1);
  }
  if (port.empty())
    port = scheme == "https" ? "443" : scheme == "ftp" ? "21" : scheme == "http" ? "80" : "";
  return scheme + "://" + LowerCase(host) + ":" + std::string(port);
}

}  // namespace kavrel
