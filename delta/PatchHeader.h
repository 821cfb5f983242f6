// The header before a patch's zstd frame: what the patch applies to and what
// it makes. All numbers little-endian.
//
//   0  8 bytes  "KVPATCH" and 0x1A
//   8  4 bytes  format version (1)
//  12  4 bytes  permission bits of the result, for a file that has none to
//               keep (a patch that creates its file); 0 when none were recorded
//  16  8 bytes  size of the file the patch applies to
//  24 32 bytes  its SHA-256
//  56  8 bytes  size of the result
//  64 32 bytes  its SHA-256
//  96           one zstd frame, made with the old file as its prefix
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Sha256.h"

namespace kavrel::delta {

inline constexpr std::size_t kPatchHeaderSize = 96;
inline constexpr std::uint32_t kPatchFormatVersion = 1;

struct TPatchHeader {
  std::uint32_t Mode = 0;
  std::uint64_t OldSize = 0;
  trust::TSha256::TDigest OldSha256{};
  std::uint64_t NewSize = 0;
  trust::TSha256::TDigest NewSha256{};
};

std::string WritePatchHeader(const TPatchHeader& header);
// Nothing when the bytes do not start with a header of a version this reads.
std::optional<TPatchHeader> ReadPatchHeader(std::span<const std::uint8_t> bytes);

}  // namespace kavrel::delta
