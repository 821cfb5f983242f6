// Measures of a local file that a control file can name: its size and its
// byte-sum checksum, and the block reading that both checksums share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace kavrel {

enum class TBlockReadResult { Complete, CannotOpen, ReadFailed };

// Hands the file's bytes to `consume` in blocks of 4096 bytes, in one pass,
// until a block comes back shorter. A read that fails ends the reading as if
// the file ended there; the result tells the caller which way it ended.
TBlockReadResult ReadFileInBlocks(
    std::string_view path, const std::function<void(std::span<const std::uint8_t>)>& consume);

// The low 32 bits of the file's size as a signed number; -1 when the file
// cannot be opened.
std::int32_t FileSizeOf(std::string_view path);

// A 32-bit sum, starting with all bits set, of every byte as a number 0 to 255.
class TByteSum {
 public:
  void Add(std::span<const std::uint8_t> bytes);
  std::int32_t Value() const { return static_cast<std::int32_t>(sum_); }

 private:
  std::uint32_t sum_ = 0xFFFFFFFFu;
};

// The byte sum of the file; -1 for an empty file or one that cannot be opened.
std::int32_t ByteSumChecksum(std::string_view path);

}  // namespace kavrel
