#include "SplashPicture.h"

#include <FL/Fl_BMP_Image.H>

#include <cerrno>

#include "BitmapHeader.h"
#include "Errors.h"
#include "Files.h"
#include "PathNames.h"

namespace kavrel::launcher {

std::unique_ptr<Fl_RGB_Image> LoadSplashPicture(const std::string& path) {
  const std::string native = platform::ToNativePath(path);
  if (!platform::FileExists(native))
    throw platform::EInOutError(
        "Cannot open file \"" + path + "\". " + platform::SystemErrorText(ENOENT), ENOENT);
  const auto bytes = platform::ReadWholeFile(native, 64 << 20);
  if (!bytes || !PlausibleBitmap(*bytes))
    throw platform::EInOutError("Bitmap image is not valid: " + path, EINVAL);
  auto picture = std::make_unique<Fl_BMP_Image>(native.c_str());
  if (picture->w() <= 0 || picture->h() <= 0 || picture->ld() < 0 || picture->d() < 3)
    throw platform::EInOutError("Bitmap image is not valid: " + path, EINVAL);
  return picture;
}

}  // namespace kavrel::launcher
