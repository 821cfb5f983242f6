#include "SplashPicture.h"

#include <FL/Fl_BMP_Image.H>

#include <cerrno>
#include <cstdint>

#include "Errors.h"
#include "Files.h"
#include "PathNames.h"

namespace kavrel::launcher {

namespace {

constexpr std::int64_t kMaxSide = 16384;

std::int64_t Little(const std::string& d, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(d[at + i]);
  return bytes == 4 ? static_cast<std::int32_t>(value) : static_cast<std::int64_t>(value);
}

// The toolkit's reader neither notices a file cut short (the missing rows come
// out white and opaque) nor refuses a giant size: the header is checked first.
bool PlausibleBitmap(const std::string& d) {
  if (d.size() < 54 || d.compare(0, 2, "BM") != 0) return false;
  const std::int64_t offset = Little(d, 10, 4), width = Little(d, 18, 4);
  const std::int64_t height = Little(d, 22, 4), bits = Little(d, 28, 2);
  const std::int64_t compression = Little(d, 30, 4);
  const std::int64_t rows = height < 0 ? -height : height;
  if (width <= 0 || width > kMaxSide || rows == 0 || rows > kMaxSide || bits <= 0 || bits > 32)
    return false;
  if (compression != 0 && compression != 3) return true;  // run-length coded: no fixed size
  const std::int64_t rowBytes = (width * bits + 31) / 32 * 4;
  return offset + rowBytes * rows <= static_cast<std::int64_t>(d.size());
}

}  // namespace

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
