#include "FileDigest.h"

#include <vector>

#include "Errors.h"
#include "Files.h"
#include "Sha256.h"

namespace kavrel {

std::optional<std::string> FileSha256(const std::string& path) {
  auto file = platform::TFile::Open(path, platform::TFile::Mode::Read);
  if (!file) return std::nullopt;
  trust::TSha256 hash;
  std::vector<char> block(1 << 20);
  try {
    while (const std::size_t n = file->Read(block.data(), block.size()))
      hash.Add(std::string_view(block.data(), n));
  } catch (const platform::EInOutError&) {
    return std::nullopt;
  }
  return hash.HexDigest();
}

}  // namespace kavrel
