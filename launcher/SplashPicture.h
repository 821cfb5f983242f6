// The splash picture, read from a Windows bitmap file by the toolkit.
#pragma once

#include <FL/Fl_RGB_Image.H>

#include <memory>
#include <string>

namespace kavrel::launcher {

// The picture of the file; raises platform::EInOutError when the file is
// missing or is not a bitmap.
std::unique_ptr<Fl_RGB_Image> LoadSplashPicture(const std::string& path);

// Whether a pixel has the window's see-through colour, olive.
inline bool IsOlive(const unsigned char* rgb) {
  return rgb[0] == 128 && rgb[1] == 128 && rgb[2] == 0;
}

}  // namespace kavrel::launcher
