#include "BmpPicture.h"

#include <cstddef>

namespace kavrel::platform {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;  // the smallest header with the fields read here
constexpr std::int64_t kMaxSide = 16384;

std::uint32_t U16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) | static_cast<std::uint32_t>(d[at + 1]) << 8;
}

std::uint32_t U32(std::span<const std::uint8_t> d, std::size_t at) {
  return U16(d, at) | U16(d, at + 2) << 16;
}

std::int32_t I32(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::int32_t>(U32(d, at));
}

}  // namespace

std::optional<TRgbPicture> DecodeBmp(std::span<const std::uint8_t> data) {
  if (data.size() < kFileHeaderSize + kInfoHeaderSize) return std::nullopt;
  if (data[0] != 'B' || data[1] != 'M') return std::nullopt;
  const std::uint64_t pixelOffset = U32(data, 10);
  const std::uint64_t headerSize = U32(data, 14);
  if (headerSize < kInfoHeaderSize) return std::nullopt;
  const std::int64_t width = I32(data, 18);
  const std::int64_t rawHeight = I32(data, 22);
  const std::uint32_t planes = U16(data, 26);
  const std::uint32_t bitsPerPixel = U16(data, 28);
  const std::uint32_t compression = U32(data, 30);
  std::uint64_t colours = U32(data, 46);

  // A negative height stores the rows top first.
  const bool topDown = rawHeight < 0;
  const std::int64_t height = topDown ? -rawHeight : rawHeight;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return std::nullopt;
  if (planes != 1 || compression != 0) return std::nullopt;
  if (bitsPerPixel != 8 && bitsPerPixel != 24) return std::nullopt;

  std::span<const std::uint8_t> palette;
  if (bitsPerPixel == 8) {
    if (colours == 0) colours = 256;
    if (colours > 256) return std::nullopt;
    const std::uint64_t paletteOffset = kFileHeaderSize + headerSize;
    if (paletteOffset + colours * 4 > data.size()) return std::nullopt;
    palette = data.subspan(paletteOffset, colours * 4);
  }

  // Every row is padded to a multiple of four bytes.
  const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32) * 4;
  if (pixelOffset > data.size() || stride * height > data.size() - pixelOffset) return std::nullopt;

  TRgbPicture picture;
  picture.Width = static_cast<int>(width);
  picture.Height = static_cast<int>(height);
  picture.Pixels.resize(static_cast<std::size_t>(width * height * 3));
  std::uint8_t* out = picture.Pixels.data();
  for (std::int64_t y = 0; y < height; ++y) {
    const std::int64_t storedRow = topDown ? y : height - 1 - y;
    const std::span<const std::uint8_t> row =
        data.subspan(pixelOffset + storedRow * stride, stride);
    for (std::int64_t x = 0; x < width; ++x) {
      if (bitsPerPixel == 24) {
        // Stored blue, green, red.
        *out++ = row[x * 3 + 2];
        *out++ = row[x * 3 + 1];
        *out++ = row[x * 3];
      } else if (const std::size_t index = row[x]; index * 4 < palette.size()) {
        // Colour-table entries are blue, green, red, unused.
        *out++ = palette[index * 4 + 2];
        *out++ = palette[index * 4 + 1];
        *out++ = palette[index * 4];
      } else {
        out += 3;  // past the colour table: black, as the vector starts zeroed
      }
    }
  }
  return picture;
}

}  // namespace kavrel::platform
