#include "FileVersion.h"

#include "FileVersionInfo.h"

namespace kavrel {

TVersionWords GetFileVersion(std::string_view path) {
  const auto version = platform::ReadFileVersion(path);
  if (!version) return TVersionWords{};
  return TVersionWords{version->first, version->second};
}

}  // namespace kavrel
