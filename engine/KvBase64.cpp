#include "KvBase64.h"

#include <cstdint>

namespace kavrel {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Length of the well-formed UTF-8 sequence at the start of `text` and its code
// point, or 0 when the first byte does not start one (a stray continuation
// byte, a truncated or overlong sequence, an encoded surrogate, a value above
// U+10FFFF).
std::size_t DecodeUtf8(std::string_view text, std::uint32_t& cp) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b0 = byte(0);
  std::size_t len = 0;
  std::uint32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (text.size() < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// The low byte of every UTF-16 code unit of the text: the one place where the
// UTF-8 text of the engine meets the 16-bit units the encoding is defined on.
std::string LowBytesOfUtf16Units(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    std::uint32_t cp = 0;
    std::size_t len = DecodeUtf8(text, cp);
    if (len == 0) {
      cp = static_cast<unsigned char>(text[0]);
      len = 1;
    }
    if (cp > 0xFFFF) {
      const std::uint32_t v = cp - 0x10000;
      out.push_back(static_cast<char>((0xD800 + (v >> 10)) & 0xFF));
      out.push_back(static_cast<char>((0xDC00 + (v & 0x3FF)) & 0xFF));
    } else {
      out.push_back(static_cast<char>(cp & 0xFF));
    }
    text.remove_prefix(len);
  }
  return out;
}

}  // namespace

std::string Base64Encode(std::string_view Text) {
  const std::string bytes = LowBytesOfUtf16Units(Text);
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
