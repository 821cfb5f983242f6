// Conversions between the system's UTF-8 strings and the UTF-16 text that
// the Windows calls take.
#pragma once

#include <string>
#include <string_view>

namespace kavrel::platform::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace kavrel::platform::win32
