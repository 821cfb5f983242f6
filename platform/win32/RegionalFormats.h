// The user's regional date and time pictures, as the engine's patterns.
#pragma once

#include <string>
#include <string_view>

namespace kavrel::platform::win32 {

// Turns a Windows date or time picture ("dd.MM.yyyy", "h:mm:ss tt") into the
// engine's pattern notation and tells the separator it uses: the first ASCII
// mark that is neither letter, digit nor blank ("/" or ":" where there is
// none); `isTime` says whether it stands for the time or the date separator.
// Text in single quotes and characters of other scripts are text of the
// pattern; the era is left out.
std::string PatternFromWindowsPicture(std::string_view picture, bool isTime,
                                      std::string* separator);

}  // namespace kavrel::platform::win32
