#include "PeVersion.h"

#include <cstring>
#include <vector>

namespace kavrel {

bool TMemoryByteReader::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  if (offset > bytes_.size() || bytes_.size() - offset < size) return false;
  if (size > 0) std::memcpy(buffer, bytes_.data() + offset, size);
  return true;
}

namespace {

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr std::uint32_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNtHeadersStart = 24;  // "PE\0\0" and the COFF file header
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kDirectoryHeaderSize = 16;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
constexpr std::size_t kResourceDirectoryIndex = 2;

// The root block of a version resource: length, value length and type words,
// the key L"VS_VERSION_INFO" with its terminator, padding to a 32-bit boundary,
// then VS_FIXEDFILEINFO (52 bytes: signature, structure version, file version
// MS and LS, ...).
constexpr char16_t kVersionKey[] = u"VS_VERSION_INFO";
constexpr std::size_t kKeyStart = 6;
constexpr std::size_t kKeyBytes = sizeof(kVersionKey);  // with the terminator
constexpr std::size_t kFixedInfoStart = (kKeyStart + kKeyBytes + 3) / 4 * 4;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::size_t kVersionBlockHead = kFixedInfoStart + kFixedInfoSize;
static_assert(kVersionBlockHead <= kPeMaxRead);

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Where a section's bytes lie in the file and in the image.
struct TSection {
  std::uint32_t virtualAddress;
  std::uint32_t extent;  // bytes of raw data that the image maps
  std::uint32_t rawOffset;
};

class TPeWalker {
 public:
  explicit TPeWalker(IByteReader& reader) : reader_(reader) {}

  std::optional<TPeFileVersion> Run() {
    std::optional<std::uint32_t> resourceRva = ReadHeaders();
    if (!resourceRva) return std::nullopt;
    resourceRva_ = *resourceRva;
    // Three levels: type RT_VERSION, then the first name, then the first
    // language. The depth is fixed, so a tree whose offsets loop cannot make
    // the walk endless.
    const auto type = PickEntry(0, kResourceTypeVersion);
    if (!type || (*type & kHighBit) == 0) return std::nullopt;
    const auto name = PickEntry(*type & ~kHighBit, std::nullopt);
    if (!name || (*name & kHighBit) == 0) return std::nullopt;
    const auto language = PickEntry(*name & ~kHighBit, std::nullopt);
    if (!language || (*language & kHighBit) != 0) return std::nullopt;
    return ReadVersionBlock(*language);
  }

 private:
  // Checks the headers and loads the section table; the address of the
  // resource directory, or nothing.
  std::optional<std::uint32_t> ReadHeaders() {
    std::uint8_t dos[kDosHeaderSize];
    if (!Read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
    const std::uint64_t ntStart = U32(dos + 0x3C);
    std::uint8_t nt[kNtHeadersStart];
    if (!Read(ntStart, nt, sizeof nt) || std::memcmp(nt, "PE\0\0", 4) != 0) return std::nullopt;
    const std::uint16_t sectionCount = U16(nt + 6);
    const std::uint16_t optionalSize = U16(nt + 20);
    const std::uint64_t optionalStart = ntStart + kNtHeadersStart;

    std::uint8_t magic[2];
    if (optionalSize < sizeof magic || !Read(optionalStart, magic, sizeof magic))
      return std::nullopt;
    std::size_t directories;  // offset of the data directories in the optional header
    switch (U16(magic)) {
      case 0x10B:
        directories = 96;
        break;
      case 0x20B:
        directories = 112;
        break;
      default:
        return std::nullopt;
    }
    const std::size_t resourceEntry = directories + kResourceDirectoryIndex * 8;
    if (optionalSize < resourceEntry + 8) return std::nullopt;
    std::uint8_t count[4], entry[8];
    if (!Read(optionalStart + directories - 4, count, sizeof count) ||
        U32(count) <= kResourceDirectoryIndex ||
        !Read(optionalStart + resourceEntry, entry, sizeof entry))
      return std::nullopt;
    const std::uint32_t rva = U32(entry), size = U32(entry + 4);
    if (rva == 0 || size == 0) return std::nullopt;
    if (!LoadSections(optionalStart + optionalSize, sectionCount)) return std::nullopt;
    return rva;
  }

  bool LoadSections(std::uint64_t tableStart, std::uint16_t count) {
    std::uint8_t header[kSectionHeaderSize];
    // The whole table must be in the file before any memory is set aside for
    // it, so that a count from a short file costs nothing.
    if (count == 0 ||
        !Read(tableStart + (count - 1) * std::uint64_t{kSectionHeaderSize}, header, sizeof header))
      return false;
    sections_.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
      if (!Read(tableStart + i * kSectionHeaderSize, header, sizeof header)) return false;
      const std::uint32_t virtualSize = U32(header + 8);
      std::uint32_t extent = U32(header + 16);
      // Raw data beyond the virtual size is file alignment padding, not mapped.
      if (virtualSize != 0 && virtualSize < extent) extent = virtualSize;
      if (extent != 0) sections_.push_back({U32(header + 12), extent, U32(header + 20)});
    }
    return true;
  }

  // The file offset of `size` bytes at image address `rva`, when they lie
  // within the raw data of one section.
  std::optional<std::uint64_t> MapRva(std::uint64_t rva, std::uint64_t size) const {
    for (const TSection& s : sections_) {
      if (rva < s.virtualAddress) continue;
      const std::uint64_t into = rva - s.virtualAddress;
      if (into <= s.extent && size <= s.extent - into) return s.rawOffset + into;
    }
    return std::nullopt;
  }

  // Reads `size` bytes at an offset into the resource tree.
  bool ReadResource(std::uint64_t offset, void* buffer, std::size_t size) {
    const auto at = MapRva(resourceRva_ + offset, size);
    return at && Read(*at, buffer, size);
  }

  // The data word of a directory's entry with the id `wanted`, or of its first
  // entry when no id is wanted. Named entries precede the id entries.
  std::optional<std::uint32_t> PickEntry(std::uint32_t directory,
                                         std::optional<std::uint32_t> wanted) {
    std::uint8_t header[kDirectoryHeaderSize];
    if (!ReadResource(directory, header, sizeof header)) return std::nullopt;
    const std::uint32_t named = U16(header + 12), total = named + U16(header + 14);
    // The entries must all lie in one section; this also bounds the search by
    // what the file holds.
    const std::uint64_t first = std::uint64_t{directory} + kDirectoryHeaderSize;
    const auto array = MapRva(resourceRva_ + first, std::uint64_t{total} * kDirectoryEntrySize);
    if (!array || total == 0) return std::nullopt;
    for (std::uint32_t i = wanted ? named : 0; i < total; ++i) {
      std::uint8_t entry[kDirectoryEntrySize];
      if (!Read(*array + std::uint64_t{i} * kDirectoryEntrySize, entry, sizeof entry))
        return std::nullopt;
      if (!wanted || U32(entry) == *wanted) return U32(entry + 4);
    }
    return std::nullopt;
  }

  std::optional<TPeFileVersion> ReadVersionBlock(std::uint32_t dataEntry) {
    std::uint8_t entry[kDataEntrySize];
    if (!ReadResource(dataEntry, entry, sizeof entry)) return std::nullopt;
    const std::uint32_t rva = U32(entry), size = U32(entry + 4);
    if (size < kVersionBlockHead) return std::nullopt;
    const auto at = MapRva(rva, kVersionBlockHead);
    std::uint8_t block[kVersionBlockHead];
    if (!at || !Read(*at, block, sizeof block)) return std::nullopt;
    const std::uint16_t length = U16(block), valueLength = U16(block + 2);
    if (length < kVersionBlockHead || length > size || valueLength < kFixedInfoSize)
      return std::nullopt;
    for (std::size_t i = 0; i < kKeyBytes / 2; ++i)
      if (U16(block + kKeyStart + 2 * i) != kVersionKey[i]) return std::nullopt;
    const std::uint8_t* fixed = block + kFixedInfoStart;
    if (U32(fixed) != kFixedInfoSignature) return std::nullopt;
    return TPeFileVersion{U32(fixed + 8), U32(fixed + 12)};
  }

  bool Read(std::uint64_t offset, void* buffer, std::size_t size) {
    return reader_.ReadAt(offset, buffer, size);
  }

  IByteReader& reader_;
  std::vector<TSection> sections_;
  std::uint32_t resourceRva_ = 0;
};

}  // namespace

std::optional<TPeFileVersion> ReadPeFileVersion(IByteReader& reader) {
  return TPeWalker(reader).Run();
}

std::optional<TPeFileVersion> ReadPeFileVersion(std::span<const std::uint8_t> bytes) {
  TMemoryByteReader reader(bytes);
  return ReadPeFileVersion(reader);
}

}  // namespace kavrel
