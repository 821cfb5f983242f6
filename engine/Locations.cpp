#include "Locations.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <utility>

#include "Kavrel.h"
#include "PathNames.h"
#include "Text.h"

namespace kavrel {

namespace {

constexpr std::string_view kHttpScheme = "http://";

// The text after the last occurrence of `c`, or all of it.
std::string_view AfterLast(std::string_view text, char c) {
  const std::size_t pos = text.rfind(c);
  return pos == std::string_view::npos ? text : text.substr(pos + 1);
}

// The text before the first occurrence of `c`, or all of it.
std::string_view BeforeFirst(std::string_view text, char c) { return text.substr(0, text.find(c)); }

// Everything but the letters, digits and marks a location's credentials can
// hold as they are.
std::string EscapeCredential(std::string_view text) {
  return PercentEncode(text, [text](std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    return !(std::isalnum(c) != 0 && c < 0x80) &&
           (c == 0 || std::strchr("-._~!$&'()*+,;=", c) == nullptr);
  });
}

}  // namespace

std::string TKavrel::FileNameFromURL(const std::string& URL) {
  // Path parts first ("/" and "\" alike), then a query: a "/" inside a query
  // therefore cuts there, and a query on its own becomes the name.
  const std::string name(AfterLast(platform::BaseName(URL), '?'));
  if (!OnFileNameFromURL) return name;
  std::string FName = name;
  OnFileNameFromURL(*this, name, FName);
  return FName;
}

std::string HostFromURL(std::string_view URL) {
  const std::size_t scheme = URL.find("://");
  if (scheme != std::string_view::npos) URL.remove_prefix(scheme + 3);
  return std::string(BeforeFirst(BeforeFirst(URL, '/'), '\\'));
}

std::string AddURLCredentials(std::string_view URL, std::string_view User,
                              std::string_view Password) {
  if (User.empty() || URL.size() < kHttpScheme.size() ||
      !SameText(URL.substr(0, kHttpScheme.size()), kHttpScheme))
    return std::string(URL);
  std::string out(kHttpScheme);
  out.append(EscapeCredential(User)).append(":").append(EscapeCredential(Password)).append("@");
  out.append(URL.substr(kHttpScheme.size()));
  return out;
}

bool IsDowngrade(std::string_view from, std::string_view to) {
  return LowerCase(SchemeOf(from)) == "https" && LowerCase(SchemeOf(to)) != "https";
}

}  // namespace kavrel
