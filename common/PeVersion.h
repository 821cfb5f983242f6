// The file version recorded in the version resource of a PE image (.exe, .dll,
// 32-bit PE32 and 64-bit PE32+), read without loading the image: the DOS header
// leads to the PE headers, their section table maps addresses to file offsets,
// and the resource tree leads to the fixed version block. Images come from
// outside, so every offset and length is checked before it is used; a malformed,
// truncated or non-PE file has no version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kavrel {

// Random access to the bytes of an image, so that a large file is never read
// whole: the parser asks only for the headers and the few parts it walks.
class IByteReader {
 public:
  virtual ~IByteReader() = default;
  // Reads exactly `size` bytes at `offset`; false when they are not all there.
  // Never asked for more than kPeMaxRead bytes at once.
  virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
};

inline constexpr std::size_t kPeMaxRead = 128;

// Reads from bytes already in memory.
class TMemoryByteReader final : public IByteReader {
 public:
  explicit TMemoryByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// dwFileVersionMS and dwFileVersionLS of the fixed version block.
struct TPeFileVersion {
  std::uint32_t MS = 0;
  std::uint32_t LS = 0;
  friend bool operator==(const TPeFileVersion&, const TPeFileVersion&) = default;
};

// The version of the first language of the first version resource (type
// RT_VERSION), when its fixed block carries the signature 0xFEEF04BD.
std::optional<TPeFileVersion> ReadPeFileVersion(IByteReader& reader);
std::optional<TPeFileVersion> ReadPeFileVersion(std::span<const std::uint8_t> bytes);

}  // namespace kavrel
