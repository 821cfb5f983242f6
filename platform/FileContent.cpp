// What the file functions build on the platform's own files.
#include <vector>

#include "Errors.h"
#include "Files.h"

namespace kavrel::platform {

std::optional<std::string> ReadWholeFile(std::string_view path, std::size_t limit) {
  auto file = TFile::Open(path, TFile::Mode::Read);
  if (!file) return std::nullopt;
  std::string content;
  std::vector<char> block(65536);
  try {
    while (const std::size_t n = file->Read(block.data(), block.size())) {
      if (n > limit - content.size()) return std::nullopt;
      content.append(block.data(), n);
    }
  } catch (const EInOutError&) {
    return std::nullopt;
  }
  return content;
}

std::optional<TFileLock> TFileLock::TryTake(std::string_view path, int* error) {
  return Acquire(path, false, error);
}

std::optional<TFileLock> TFileLock::Take(std::string_view path, int* error) {
  return Acquire(path, true, error);
}

}  // namespace kavrel::platform
