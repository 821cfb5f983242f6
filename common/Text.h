// Small text helpers shared by every part of the system. Case folding is ASCII
// only: names, sections, keys and macros are matched without regard to ASCII case.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kavrel {

char UpperAscii(char c);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);

// Drops blanks (spaces, tabs, control characters) at both ends.
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);

// Fills the first "%s" of a message pattern with the argument; a pattern
// without "%s" ignores it. "%%" stands for a lone "%".
std::string FormatArg(std::string_view pattern, std::string_view arg);

// How far an integer text could be read: the value of the digits before the
// first character that does not belong, and whether the whole text belonged.
// Leading blanks and a sign are allowed, hexadecimal after "$" or "0x"/"0X".
struct TNumberScan {
  std::uint64_t magnitude = 0;  // wraps on overflow; callers keep what they need
  bool negative = false;
  bool valid = false;     // the whole text was one number
  bool overflow = false;  // more than 64 bits of magnitude
  bool hex = false;
  std::int64_t Value() const;
};
TNumberScan ScanInteger(std::string_view text);

// A signed 32-bit number in decimal, or in hexadecimal after "$" or "0x";
// hexadecimal up to eight digits wraps into the signed range ("$FFFFFFFF" is -1).
std::optional<std::int32_t> ParseInt32(std::string_view text);

// A non-negative whole number in plain decimal digits (no sign, no blanks) that
// fits in 63 bits; nothing for anything else.
std::optional<std::int64_t> ParseDecimal(std::string_view text);

// The scheme of an address ("http" of "http://...", "mailto" of "mailto:..."),
// or empty when it has none. One letter before the colon is a drive, not a
// scheme.
std::string_view SchemeOf(std::string_view address);

// The location without the "user:password@" part of its authority: what may
// be handed to another program, whose command line every local user reads.
std::string WithoutURLCredentials(std::string_view URL);

// The origin credentials and reports belong to: the scheme, host and port of
// a URL in lower case, the port filled in for http (80), https (443) and ftp
// (21); empty for a location that is no URL (a path).
std::string OriginOf(std::string_view URL);

// %XX escapes decoded; a "%" not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text);
// The text with each byte for which `escapeAt(index)` holds written as %XX.
std::string PercentEncode(std::string_view text, const std::function<bool(std::size_t)>& escapeAt);
// The text with every byte but the unreserved characters of an address
// (letters, digits, "-", ".", "_", "~") written as %XX: one part of a path,
// a user name or a password.
std::string EscapeUrlPart(std::string_view text);
// The path part of an ftp:// address for a folder as the server names it:
// each part escaped, empty parts left out; a path from the root begins with
// "/%2F", which names the root rather than the login folder.
std::string FtpUrlPath(std::string_view path);

// Replaces every "\n" two-character escape by a carriage return.
std::string ExpandLineBreaks(std::string_view text);

// Truncates UTF-8 text to at most max code points without splitting one.
std::string TruncateCodePoints(std::string_view text, std::size_t max);

}  // namespace kavrel
