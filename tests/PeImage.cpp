#include "PeImage.h"

namespace kavrel::test {

void TPeImage::Put16(std::size_t at, std::uint16_t value) {
  if (Bytes.size() < at + 2) Bytes.resize(at + 2);
  Bytes[at] = static_cast<char>(value & 0xFF);
  Bytes[at + 1] = static_cast<char>(value >> 8);
}

void TPeImage::Put32(std::size_t at, std::uint32_t value) {
  Put16(at, static_cast<std::uint16_t>(value & 0xFFFF));
  Put16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

TPeImage BuildPeImage(const TPeImageOptions& options) {
  constexpr std::uint32_t kSubdirectory = 0x80000000u;
  TPeImage image;
  const std::uint32_t codeRaw = 0x200, codeRva = 0x1000;
  const std::uint32_t codeSize = (options.CodeSize + 0x1FF) / 0x200 * 0x200;
  const std::uint32_t resourceRaw = codeRaw + codeSize;
  image.ResourceRva = codeRva + (codeSize + 0xFFF) / 0x1000 * 0x1000;
  image.Bytes.assign(resourceRaw + 0x200, '\0');

  image.Bytes[0] = 'M';
  image.Bytes[1] = 'Z';
  image.PeHeader = 0x80;
  image.Put32(0x3C, static_cast<std::uint32_t>(image.PeHeader));
  image.Bytes.replace(image.PeHeader, 4, std::string("PE\0\0", 4));
  const std::uint16_t optionalSize = options.Pe32Plus ? 0xF0 : 0xE0;
  image.Put16(image.PeHeader + 4, options.Pe32Plus ? 0x8664 : 0x014C);
  image.Put16(image.PeHeader + 6, 2);
  image.Put16(image.PeHeader + 20, optionalSize);
  image.OptionalHeader = image.PeHeader + 24;
  image.Put16(image.OptionalHeader, options.Pe32Plus ? 0x20B : 0x10B);
  image.DataDirectories = image.OptionalHeader + (options.Pe32Plus ? 112 : 96);
  image.Put32(image.DataDirectories - 4, 16);
  image.Put32(image.DataDirectories + 16, image.ResourceRva);
  image.Put32(image.DataDirectories + 20, TPeImage::kBlock + 92);

  image.SectionTable = image.OptionalHeader + optionalSize;
  const auto section = [&](std::size_t at, const char* name, std::uint32_t rva,
                           std::uint32_t virtualSize, std::uint32_t raw, std::uint32_t rawSize) {
    image.Bytes.replace(at, 8, std::string(name).append(8 - std::string(name).size(), '\0'));
    image.Put32(at + 8, virtualSize);
    image.Put32(at + 12, rva);
    image.Put32(at + 16, rawSize);
    image.Put32(at + 20, raw);
  };
  section(image.SectionTable, ".text", codeRva, codeSize, codeRaw, codeSize);
  section(image.SectionTable + 40, ".rsrc", image.ResourceRva, TPeImage::kBlock + 92, resourceRaw,
          0x200);

  image.Resources = resourceRaw;
  const std::size_t r = resourceRaw;
  const auto directory = [&](std::size_t at, std::uint16_t ids) { image.Put16(r + at + 14, ids); };
  const auto entry = [&](std::size_t at, std::uint32_t name, std::uint32_t data) {
    image.Put32(r + at, name);
    image.Put32(r + at + 4, data);
  };
  directory(TPeImage::kRoot, 2);
  // An icon type that leads straight to a data entry: taking it instead of
  // RT_VERSION gives no version.
  entry(TPeImage::kRootEntries, 3, TPeImage::kDataEntry);
  entry(TPeImage::kRootEntries + 8, 16, kSubdirectory | TPeImage::kTypeDir);
  directory(TPeImage::kTypeDir, 1);
  entry(TPeImage::kTypeEntry, 1, kSubdirectory | TPeImage::kNameDir);
  directory(TPeImage::kNameDir, 1);
  entry(TPeImage::kNameEntry, 0x409, TPeImage::kDataEntry);

  const std::uint32_t blockRva =
      options.VersionInCode ? codeRva + 0x10 : image.ResourceRva + TPeImage::kBlock;
  image.VersionBlock = options.VersionInCode ? codeRaw + 0x10 : r + TPeImage::kBlock;
  image.Put32(r + TPeImage::kDataEntry, blockRva);
  image.Put32(r + TPeImage::kDataEntry + 4, 92);

  const std::size_t b = image.VersionBlock;
  image.Put16(b, 92);      // length
  image.Put16(b + 2, 52);  // value length: the fixed block
  const std::u16string key = u"VS_VERSION_INFO";
  for (std::size_t i = 0; i < key.size(); ++i) image.Put16(b + 6 + 2 * i, key[i]);
  image.Put32(b + 40, 0xFEEF04BDu);
  image.Put32(b + 44, 0x00010000u);
  image.Put32(b + 48, options.VersionMS);
  image.Put32(b + 52, options.VersionLS);
  image.Put32(b + 56, 0x00090009u);  // product version, which must not be taken
  image.Put32(b + 60, 0x00090009u);
  return image;
}

}  // namespace kavrel::test
