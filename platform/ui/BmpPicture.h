// Reads a Windows bitmap held in memory (a picture embedded in the program)
// into plain RGB pixels that the toolkit can draw. Only what the program's own
// pictures use is read: uncompressed pictures with 8 bits per pixel and a
// colour table, or 24 bits per pixel.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kavrel::platform {

struct TRgbPicture {
  int Width = 0;
  int Height = 0;
  // Three bytes (red, green, blue) per pixel, the top row first.
  std::vector<std::uint8_t> Pixels;
};

// The picture, or nothing when the bytes are not a bitmap of a kind read here
// or are cut short. Pixels whose colour index lies past the colour table are
// black. Pictures larger than 16384 pixels either way are refused.
std::optional<TRgbPicture> DecodeBmp(std::span<const std::uint8_t> data);

}  // namespace kavrel::platform
