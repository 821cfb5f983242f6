// Builds small PE images with a version resource, for the tests of the file
// version reader and of the comparison of local files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kavrel::test {

struct TPeImageOptions {
  bool Pe32Plus = false;
  std::uint32_t VersionMS = 0x00010002;  // 1.2
  std::uint32_t VersionLS = 0x00030004;  // .3.4
  // Size of the code section that precedes the resources in the file; a large
  // one makes a large image.
  std::uint32_t CodeSize = 0x200;
  // Puts the version block into the code section, before the resource tree.
  bool VersionInCode = false;
};

// The image and the file offsets of the parts that tests break.
struct TPeImage {
  std::string Bytes;
  std::size_t PeHeader = 0;  // "PE\0\0", then the COFF header
  std::size_t OptionalHeader = 0;
  std::size_t DataDirectories = 0;
  std::size_t SectionTable = 0;  // the code section, then the resource section
  std::size_t Resources = 0;     // the resource section's raw data
  std::size_t VersionBlock = 0;  // VS_VERSIONINFO
  std::uint32_t ResourceRva = 0;
  std::size_t End() const { return VersionBlock + 92; }  // last byte the reader needs, plus one

  // Resource tree offsets (from Resources): the root directory, its entries
  // (id 3, then id 16 = RT_VERSION), the name and language directories, the
  // data entry.
  static constexpr std::size_t kRoot = 0x00, kRootEntries = 0x10, kTypeDir = 0x20,
                               kTypeEntry = 0x30, kNameDir = 0x38, kNameEntry = 0x48,
                               kDataEntry = 0x50, kBlock = 0x60;

  void Put16(std::size_t at, std::uint16_t value);
  void Put32(std::size_t at, std::uint32_t value);
};

TPeImage BuildPeImage(const TPeImageOptions& options = {});

}  // namespace kavrel::test
