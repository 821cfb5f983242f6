#include "Version.h"

#include "Text.h"

namespace kavrel {

namespace {

struct TPart {
  std::uint32_t value;  // modulo 65536
  bool valid;
};

TPart ReadPart(std::string_view text) {
  const TNumberScan scan = ScanInteger(text);
  return TPart{static_cast<std::uint32_t>(scan.Value()) & 0xFFFFu, scan.valid};
}

// Splits off the text before the first separator; false when there is none.
bool SplitOff(std::string_view& rest, char separator, std::string_view& part) {
  const std::size_t pos = rest.find(separator);
  if (pos == std::string_view::npos) return false;
  part = rest.substr(0, pos);
  rest.remove_prefix(pos + 1);
  return true;
}

}  // namespace

TVersionWords ParseVersion(std::string_view text) {
  TVersionWords v;
  const char separator = text.find(',') != std::string_view::npos   ? ','
                         : text.find('.') != std::string_view::npos ? '.'
                                                                    : '\0';
  if (separator == '\0') {
    const TPart whole = ReadPart(text);
    if (whole.valid) v = TVersionWords{whole.value << 16, 0};
    return v;
  }
  std::string_view rest = text;
  std::string_view a, b, c;
  SplitOff(rest, separator, a);
  const TPart pa = ReadPart(a);
  if (rest.find(separator) == std::string_view::npos || !pa.valid) {
    v.MS = (pa.value << 16) + ReadPart(rest).value;
    v.LS = 0;
    return v;
  }
  SplitOff(rest, separator, b);
  const TPart pb = ReadPart(b);
  v.MS = (pa.value << 16) + pb.value;
  if (rest.find(separator) == std::string_view::npos || !pb.valid) {
    v.LS = ReadPart(rest).value << 16;
    return v;
  }
  SplitOff(rest, separator, c);
  const TPart pd = ReadPart(rest);
  // A fourth part that is no number ("1.2.3.4.5") makes the whole text no
  // version, so both words are all ones, as every other non-version.
  if (!pd.valid) return TVersionWords{};
  v.LS = (ReadPart(c).value << 16) + pd.value;
  return v;
}

std::string VersionToText(TVersionWords version) {
  return std::to_string(version.MS >> 16) + "." + std::to_string(version.MS & 0xFFFFu) + "." +
         std::to_string(version.LS >> 16) + "." + std::to_string(version.LS & 0xFFFFu);
}

int CompareVersionWords(TVersionWords a, TVersionWords b) {
  const auto a1 = static_cast<std::int32_t>(a.MS), b1 = static_cast<std::int32_t>(b.MS);
  if (a1 != b1) return a1 < b1 ? -1 : 1;
  const auto a2 = static_cast<std::int32_t>(a.LS), b2 = static_cast<std::int32_t>(b.LS);
  if (a2 != b2) return a2 < b2 ? -1 : 1;
  return 0;
}

}  // namespace kavrel
