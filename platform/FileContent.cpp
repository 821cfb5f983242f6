// What the file functions build on the platform's own files.
#include <thread>
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

bool CanCreateIn(std::string_view folder) {
  std::string path;
  auto file = TFile::CreateUnique(folder.empty() ? std::string_view(".") : folder, "KAV", path);
  if (!file) return false;
  file.reset();
  DeleteFileAt(path);
  return true;
}

std::optional<TFileLock> TFileLock::TryTake(std::string_view path, int* error) {
  return Acquire(path, false, error);
}

std::optional<TFileLock> TFileLock::Take(std::string_view path, int* error) {
  return Acquire(path, true, error);
}

std::optional<TFileLock> TFileLock::TakeWithin(std::string_view path,
                                               std::chrono::milliseconds limit, int* error) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int failure = 0;
  while (true) {
    if (auto lock = Acquire(path, false, &failure)) return lock;
    if (!IsErrorKind(failure, TErrorKind::WouldBlock) ||
        std::chrono::steady_clock::now() >= deadline) {
      if (error != nullptr) *error = failure;
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace kavrel::platform
