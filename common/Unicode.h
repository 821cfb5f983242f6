// Conversions between the text forms the system meets: UTF-8 in memory,
// UTF-16 in files and in rules stated over 16-bit units, Latin-1 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kavrel {

// Length of the well-formed UTF-8 sequence at the start of `text` and its code
// point, or 0 when the first byte does not start one.
std::size_t DecodeUtf8(std::string_view text, std::uint32_t& cp);
bool IsValidUtf8(std::string_view text);
void AppendUtf8(std::string& out, char32_t cp);

// The low byte of every UTF-16 code unit of a UTF-8 text (a character above
// U+FFFF gives the low bytes of its two surrogates; a byte that starts no
// well-formed sequence counts as one unit of that value).
std::string Utf16LowBytes(std::string_view text);
// Each byte as the character of the same number.
std::string Latin1ToUtf8(std::string_view bytes);
// UTF-16LE bytes (without their mark) as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

}  // namespace kavrel
