#include "PatchHeader.h"

#include <algorithm>
#include <cstring>

namespace kavrel::delta {

namespace {

constexpr char kMagic[8] = {'K', 'V', 'P', 'A', 'T', 'C', 'H', 0x1A};

void PutNumber(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t GetNumber(std::span<const std::uint8_t> bytes, std::size_t at, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
  return value;
}

}  // namespace

std::string WritePatchHeader(const TPatchHeader& header) {
  std::string out(kMagic, sizeof kMagic);
  PutNumber(out, kPatchFormatVersion, 4);
  PutNumber(out, header.Mode, 4);
  PutNumber(out, header.OldSize, 8);
  out.append(reinterpret_cast<const char*>(header.OldSha256.data()), header.OldSha256.size());
  PutNumber(out, header.NewSize, 8);
  out.append(reinterpret_cast<const char*>(header.NewSha256.data()), header.NewSha256.size());
  return out;
}

std::optional<TPatchHeader> ReadPatchHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kPatchHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0 ||
      GetNumber(bytes, 8, 4) != kPatchFormatVersion)
    return std::nullopt;
  TPatchHeader header;
  header.Mode = static_cast<std::uint32_t>(GetNumber(bytes, 12, 4));
  header.OldSize = GetNumber(bytes, 16, 8);
  std::copy_n(bytes.begin() + 24, 32, header.OldSha256.begin());
  header.NewSize = GetNumber(bytes, 56, 8);
  std::copy_n(bytes.begin() + 64, 32, header.NewSha256.begin());
  return header;
}

}  // namespace kavrel::delta
