#include "BitmapHeader.h"

#include <cstdint>

namespace kavrel::launcher {

namespace {

constexpr std::int64_t kMaxSide = 16384;

std::int64_t Little(std::string_view d, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(d[at + i]);
  return bytes == 4 ? static_cast<std::int32_t>(value) : static_cast<std::int64_t>(value);
}

}  // namespace

bool PlausibleBitmap(std::string_view d) {
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

}  // namespace kavrel::launcher
