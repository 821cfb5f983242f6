// How a registry key's path is written, the same for every registry.
#pragma once

#include <string>
#include <string_view>

#include "PathNames.h"

namespace kavrel::platform {

// "\Software\\Vendor\" and "Software/Vendor" name the same key: "Software\Vendor".
inline std::string NormalKeyPath(std::string_view path) {
  std::string out;
  for (char c : path) {
    if (IsPathSeparator(c)) {
      if (!out.empty() && out.back() != '\\') out += '\\';
    } else {
      out += c;
    }
  }
  if (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

}  // namespace kavrel::platform
