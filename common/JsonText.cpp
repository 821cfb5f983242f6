#include "JsonText.h"

#include <cstdint>

#include "Unicode.h"

namespace kavrel {

std::string JsonText(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  while (!text.empty()) {
    std::uint32_t cp = 0;
    const std::size_t length = DecodeUtf8(text, cp);
    if (length == 0) {
      AppendUtf8(out, U'\uFFFD');
      text.remove_prefix(1);
      continue;
    }
    if (cp == '"' || cp == '\\') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp < 0x20) {
      out += "\\u00";
      out += kHex[cp >> 4];
      out += kHex[cp & 0xF];
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out + "\"";
}

}  // namespace kavrel
