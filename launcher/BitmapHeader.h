// The check made on a splash picture's file before it is decoded: the
// decoders neither notice a file cut short nor refuse a giant size.
#pragma once

#include <string_view>

namespace kavrel::launcher {

// True when the bytes begin like a Windows bitmap of a sane size and, unless
// run-length coded, hold every row that the header promises.
bool PlausibleBitmap(std::string_view bytes);

}  // namespace kavrel::launcher
