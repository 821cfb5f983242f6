// The file checksum used with UseCRC32. It takes the table of the standard
// CRC-32 (reflected polynomial 0xEDB88320) but adds each table step to the
// running value instead of replacing it, so it is not the standard CRC-32.
// A control file's "newchecksum" is computed this way; the addition is part of
// the control-file format and must stay.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kavrel {

class TAdditiveCrc32 {
 public:
  void Add(std::span<const std::uint8_t> bytes);
  // The complement of the running value, as a signed number.
  std::int32_t Value() const { return static_cast<std::int32_t>(~crc_); }

 private:
  std::uint32_t crc_ = 0xFFFFFFFFu;
};

// The checksum of the file's bytes; 0 for an empty file or one that cannot be
// opened. "abc" gives 0x6C8D9D41 (1821220161).
std::int32_t FileCRC(std::string_view path);

}  // namespace kavrel
