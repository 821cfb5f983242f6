#include "FileMeasures.h"

#include <array>
#include <optional>

#include "Errors.h"
#include "Files.h"

namespace kavrel {

TBlockReadResult ReadFileInBlocks(
    std::string_view path, const std::function<void(std::span<const std::uint8_t>)>& consume) {
  auto file = platform::TFile::Open(path, platform::TFile::Mode::Read);
  if (!file) return TBlockReadResult::CannotOpen;
  std::array<std::uint8_t, 4096> block;
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

void TByteSum::Add(std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) sum_ += b;
}

std::int32_t ByteSumChecksum(std::string_view path) {
  TByteSum sum;
  ReadFileInBlocks(path, [&](std::span<const std::uint8_t> bytes) { sum.Add(bytes); });
  return sum.Value();
}

}  // namespace kavrel
