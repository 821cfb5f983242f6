#include "FileMeasures.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <optional>

#include "Errors.h"
#include "Files.h"

namespace kavrel {

TBlockReadResult ReadFileInBlocks(
    std::string_view path, const std::function<void(std::span<const std::uint8_t>)>& consume) {
  auto file = platform::TFile::Open(path, platform::TFile::Mode::Read);
  if (!file) return TBlockReadResult::CannotOpen;
  // Large reads that still fit the processor's cache, where the sum finds
  // them: a publisher's tools measure whole releases with this.
  std::vector<std::uint8_t> block(128 << 10);
  while (true) {
    std::size_t n = 0;
    try {
      // Fill the block completely unless the file ends, so that a short block
      // means the end and not a partial read.
      while (n < block.size()) {
        const std::size_t got = file->Read(block.data() + n, block.size() - n);
        if (got == 0) break;
        n += got;
      }
    } catch (const platform::EInOutError&) {
      consume(std::span(block.data(), n));
      return TBlockReadResult::ReadFailed;
    }
    consume(std::span(block.data(), n));
    if (n < block.size()) return TBlockReadResult::Complete;
  }
}

std::int32_t FileSizeOf(std::string_view path) {
  const auto file = platform::TFile::Open(path, platform::TFile::Mode::Read);
  if (!file) return -1;
  const std::int64_t size = file->Size();
  if (size < 0) return -1;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
}

namespace {

#if defined(__SSE2__)
// Sixteen bytes at a time, each group summed by one instruction (the sum of
// absolute differences to zero) into two 64-bit lanes.
std::size_t AddWide(const std::uint8_t* bytes, std::size_t size, std::uint32_t& sum) {
  const std::size_t whole = size & ~std::size_t{15};
  const __m128i zero = _mm_setzero_si128();
  __m128i lanes = zero;
  for (std::size_t i = 0; i < whole; i += 16) {
    const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    lanes = _mm_add_epi64(lanes, _mm_sad_epu8(group, zero));
  }
  sum += static_cast<std::uint32_t>(_mm_cvtsi128_si64(lanes) +
                                    _mm_cvtsi128_si64(_mm_unpackhi_epi64(lanes, lanes)));
  return whole;
}
#else
// Eight bytes at a time: each word's bytes are added in pairs into four
// 16-bit lanes, which hold 128 words (256 bytes of at most 255) before they
// are folded into the sum.
std::size_t AddWide(const std::uint8_t* bytes, std::size_t size, std::uint32_t& sum) {
  constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
  std::size_t i = 0;
  while (size - i >= 8) {
    const std::size_t words = std::min<std::size_t>((size - i) / 8, 128);
    std::uint64_t lanes = 0;
    for (std::size_t w = 0; w < words; ++w, i += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes + i, sizeof word);
      lanes += (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
    }
    sum += static_cast<std::uint32_t>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) +
                                      ((lanes >> 32) & 0xFFFF) + (lanes >> 48));
  }
  return i;
}
#endif

}  // namespace

// Many bytes per step, so that a release's files are summed as fast as they
// are read; the sum modulo 2^32 does not depend on the order of the adds.
void TByteSum::Add(std::span<const std::uint8_t> bytes) {
  const std::size_t done = AddWide(bytes.data(), bytes.size(), sum_);
  for (std::size_t i = done; i < bytes.size(); ++i) sum_ += bytes[i];
}

std::int32_t ByteSumChecksum(std::string_view path) {
  TByteSum sum;
  ReadFileInBlocks(path, [&](std::span<const std::uint8_t> bytes) { sum.Add(bytes); });
  return sum.Value();
}

}  // namespace kavrel
