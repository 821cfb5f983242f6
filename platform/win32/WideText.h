// Text at the Windows calls: the system keeps UTF-8, Windows takes UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace kavrel::platform::win32 {

// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::wstring Wide(std::string_view utf8);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8(std::wstring_view wide);

}  // namespace kavrel::platform::win32
