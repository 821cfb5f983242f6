#include "Unicode.h"

namespace kavrel {

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
std::string Utf16LowBytes(std::string_view text) {
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

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    if (c < 0x80)
      extra = 0;
    else if ((c & 0xE0) == 0xC0)
      extra = 1;
    else if ((c & 0xF0) == 0xE0)
      extra = 2;
    else if ((c & 0xF8) == 0xF0)
      extra = 3;
    else
      return false;
    if (s.size() - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

std::string Latin1ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  const std::size_t units = bytes.size() / 2;
  auto unit = [&](std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                 (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  };
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
        unit(i + 1) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

}  // namespace kavrel
