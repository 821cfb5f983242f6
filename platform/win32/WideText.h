// Text at the Windows calls: the system keeps UTF-8, the calls take UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace kavrel::platform::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace kavrel::platform::win32
