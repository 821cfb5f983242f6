#include "KvBase64.h"

#include <cstdint>

#include "Unicode.h"

namespace kavrel {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string Base64Encode(std::string_view Text) {
  const std::string bytes = Utf16LowBytes(Text);
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    const auto at = [&](std::size_t k) {
      return k < left ? static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + k])) : 0u;
    };
    const std::uint32_t group = (at(0) << 16) | (at(1) << 8) | at(2);
    out.push_back(kAlphabet[(group >> 18) & 0x3F]);
    out.push_back(kAlphabet[(group >> 12) & 0x3F]);
    out.push_back(left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=');
    out.push_back(left > 2 ? kAlphabet[group & 0x3F] : '=');
  }
  return out;
}

}  // namespace kavrel
