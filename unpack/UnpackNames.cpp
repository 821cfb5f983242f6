#include "UnpackNames.h"

#include <cstring>
#include <string_view>

#include "Errors.h"
#include "Files.h"
#include "LzExpand.h"
#include "PathNames.h"
#include "Unicode.h"
#include "cabfdi.h"

namespace kavrel {

bool PlaceFile(const TPlaceFile& place, const std::string& from, const std::string& to) {
  return place ? place(from, to) : platform::ReplaceFileWith(from, to);
}

std::string SafeStoredName(const char* stored, bool utf8) {
  if (stored == nullptr) return {};
  const std::string_view raw(stored);
  if (utf8 && !IsValidUtf8(raw)) return {};
  std::string name = utf8 ? std::string(raw) : Latin1ToUtf8(raw);
  if (name.empty() || platform::IsPathSeparator(name.front())) return {};
  std::size_t partStart = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size()) {
      const auto c = static_cast<unsigned char>(name[i]);
      if (c < 0x20 || c == 0x7F || c == ':') return {};
      if (!platform::IsPathSeparator(name[i])) continue;
    }
    const std::string_view part = std::string_view(name).substr(partStart, i - partStart);
    if (part.empty() || part == "." || part == ".." || part.back() == '.' || part.back() == ' ')
      return {};
    partStart = i + 1;
  }
  return name;
}

std::string LzExpandedName(const std::string& name, char missing) {
  std::string out = name;
  const auto c = static_cast<unsigned char>(missing);
  if (out.empty() ||
      (c != 0 && (c < 0x20 || c == 0x7F ||
                  std::string_view("\\/:.").find(missing) != std::string_view::npos)))
    return {};
  if (missing != '\0')
    out.back() = missing;
  else if (out.back() == '_')
    out.pop_back();
  return out;
}

std::optional<TSzddHeader> ParseSzddHeader(const unsigned char (&bytes)[kSzddHeaderSize]) {
  static constexpr unsigned char kSignature[9] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A'};
  if (std::memcmp(bytes, kSignature, sizeof kSignature) != 0) return std::nullopt;
  TSzddHeader header;
  header.Missing = static_cast<char>(bytes[9]);
  header.Length =
      static_cast<std::uint32_t>(bytes[10]) | static_cast<std::uint32_t>(bytes[11]) << 8 |
      static_cast<std::uint32_t>(bytes[12]) << 16 | static_cast<std::uint32_t>(bytes[13]) << 24;
  return header;
}

std::optional<TSzddHeader> ReadSzddHeader(const std::string& path) {
  auto file = platform::TFile::Open(path, platform::TFile::Mode::Read);
  if (!file) return std::nullopt;
  unsigned char bytes[kSzddHeaderSize];
  try {
    if (file->ReadAt(0, bytes, sizeof bytes) != sizeof bytes) return std::nullopt;
  } catch (const platform::EInOutError&) {
    return std::nullopt;
  }
  return ParseSzddHeader(bytes);
}

std::string LzTargetPath(const std::string& name, char missing,
                         const std::optional<std::string>& folder) {
  const std::string expanded = LzExpandedName(name, missing);
  if (expanded.empty() || !folder) return expanded;
  return *folder + std::string(platform::BaseName(expanded));
}

bool ExpandLZFile(const std::string& FileName) {
  const auto name = ExpandedLZName(FileName);
  if (!name) return true;
  const auto expanded = ExpandLZ(FileName);
  // A source that is its own expanded name has been replaced by its expansion.
  if (expanded && *expanded == FileName) return true;
  platform::DeleteFileAt(FileName);
  return expanded.has_value();
}

}  // namespace kavrel
