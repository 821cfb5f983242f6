#include "TextFile.h"

#include "Unicode.h"

namespace kavrel {

std::string DecodeText(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
    return Utf16LeToUtf8(bytes.substr(2));
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    std::string swapped(bytes.substr(2));
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    return Utf16LeToUtf8(swapped);
  }
  return IsValidUtf8(bytes) ? std::string(bytes) : Latin1ToUtf8(bytes);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

}  // namespace kavrel
