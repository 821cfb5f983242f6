// Decoding of the bitmaps embedded in the program, including damaged ones.
#include "BmpPicture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kavrel::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A bitmap file: rows given top first, each as the stored bytes of one row
// without padding; stored bottom first unless topDown.
Bytes MakeBmp(int width, int height, int bits, const Bytes& palette,
              const std::vector<Bytes>& rowsTopFirst, bool topDown = false, int colours = 0) {
  const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
  const std::size_t pixelOffset = 14 + 40 + palette.size();
  Bytes b(pixelOffset + stride * rowsTopFirst.size(), 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  Put32(b, 10, static_cast<std::uint32_t>(pixelOffset));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<std::uint32_t>(width));
  Put32(b, 22, static_cast<std::uint32_t>(topDown ? -height : height));
  Put16(b, 26, 1);
  Put16(b, 28, static_cast<std::uint32_t>(bits));
  Put32(b, 46, static_cast<std::uint32_t>(colours));
  std::copy(palette.begin(), palette.end(), b.begin() + 54);
  for (std::size_t r = 0; r < rowsTopFirst.size(); ++r) {
    const std::size_t stored = topDown ? r : rowsTopFirst.size() - 1 - r;
    std::copy(rowsTopFirst[r].begin(), rowsTopFirst[r].end(),
              b.begin() + static_cast<std::ptrdiff_t>(pixelOffset + stored * stride));
  }
  return b;
}

// Colour table: 0 red, 1 green, 2 blue (stored blue, green, red, unused).
const Bytes kPalette = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};

TEST(BmpPicture, ReadsPaletteAndTrueColourPicturesInEitherRowOrder) {
  // 3 x 2 at 8 bits: rows of 3 bytes padded to 4.
  for (const bool topDown : {false, true}) {
    const auto picture = DecodeBmp(MakeBmp(3, 2, 8, kPalette, {{0, 1, 2}, {2, 2, 0}}, topDown, 3));
    ASSERT_TRUE(picture) << "top down: " << topDown;
    EXPECT_EQ(picture->Width, 3);
    EXPECT_EQ(picture->Height, 2);
    EXPECT_EQ(picture->Pixels,
              (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0}));
  }
  // 2 x 1 at 24 bits, stored blue, green, red.
  const auto rgb = DecodeBmp(MakeBmp(2, 1, 24, {}, {{1, 2, 3, 4, 5, 6}}));
  ASSERT_TRUE(rgb);
  EXPECT_EQ(rgb->Pixels, (Bytes{3, 2, 1, 6, 5, 4}));
}

TEST(BmpPicture, ColourIndexPastTheTableIsBlackAndAnEmptyCountMeans256) {
  const auto picture = DecodeBmp(MakeBmp(2, 1, 8, kPalette, {{1, 7}}, false, 3));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Pixels, (Bytes{0, 255, 0, 0, 0, 0}));

  // No count: the full table of 256 entries must be there.
  Bytes full(256 * 4, 0);
  full[200 * 4 + 2] = 99;
  const auto wide = DecodeBmp(MakeBmp(1, 1, 8, full, {{200}}));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->Pixels, (Bytes{99, 0, 0}));
  EXPECT_FALSE(DecodeBmp(MakeBmp(1, 1, 8, kPalette, {{0}})))
      << "a table of 3 entries where 256 are implied";
}

TEST(BmpPicture, RefusesEveryCutShortFile) {
  const Bytes good =
      MakeBmp(5, 3, 8, kPalette, {{0, 1, 2, 1, 0}, {1, 1, 1, 1, 1}, {2, 2, 2, 2, 2}}, false, 3);
  ASSERT_TRUE(DecodeBmp(good));
  for (std::size_t size = 0; size < good.size(); ++size)
    EXPECT_FALSE(DecodeBmp(std::span(good.data(), size))) << "cut to " << size << " bytes";
}

TEST(BmpPicture, RefusesKindsItDoesNotRead) {
  const Bytes good = MakeBmp(2, 2, 8, kPalette, {{0, 1}, {1, 0}}, false, 3);
  auto changed = [&](std::size_t at, std::uint32_t value, bool wide) {
    Bytes b = good;
    wide ? Put32(b, at, value) : Put16(b, at, value);
    return DecodeBmp(b).has_value();
  };
  EXPECT_FALSE(changed(0, 'X' | 'M' << 8, false)) << "signature";
  EXPECT_FALSE(changed(14, 12, true)) << "old 12-byte header";
  EXPECT_FALSE(changed(28, 4, false)) << "4 bits per pixel";
  EXPECT_FALSE(changed(28, 32, false)) << "32 bits per pixel";
  EXPECT_FALSE(changed(30, 1, true)) << "RLE8 compression";
  EXPECT_FALSE(changed(26, 2, false)) << "two planes";
  EXPECT_FALSE(changed(46, 257, true)) << "more than 256 colours";
  EXPECT_FALSE(changed(18, 0, true)) << "no width";
  EXPECT_FALSE(changed(22, 0, true)) << "no height";
  EXPECT_FALSE(changed(18, 20000, true)) << "too wide";
  EXPECT_FALSE(changed(22, 0x80000000u, true)) << "the most negative height";
  EXPECT_FALSE(changed(10, 0xFFFFFFF0u, true)) << "pixel data past the end";
}

}  // namespace
}  // namespace kavrel::platform
