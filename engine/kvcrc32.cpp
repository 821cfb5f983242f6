#include "kvcrc32.h"

#include <array>

#include "FileMeasures.h"

namespace kavrel {

namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();
static_assert(kTable[1] == 0x77073096u);

}  // namespace

void TAdditiveCrc32::Add(std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) crc_ += kTable[(crc_ ^ b) & 0xFFu] ^ (crc_ >> 8);
}

std::int32_t FileCRC(std::string_view path) {
  TAdditiveCrc32 crc;
  ReadFileInBlocks(path, [&](std::span<const std::uint8_t> bytes) { crc.Add(bytes); });
  return crc.Value();
}

}  // namespace kavrel
