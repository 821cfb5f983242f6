// The file version of PE images, read from images built here: sound ones of
// both widths, and broken ones that must give no version without reading
// beyond the data.
#include "PeVersion.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <span>

#include "FileVersion.h"
#include "PeImage.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

constexpr TVersionWords kNone{};
constexpr TVersionWords k1234{0x00010002u, 0x00030004u};

// Every request within the reader's limit, and how many there were.
class TCheckingReader final : public IByteReader {
 public:
  explicit TCheckingReader(const std::string& bytes) : inner_(Span(bytes)) {}
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    EXPECT_LE(size, kPeMaxRead);
    ++reads;
    return inner_.ReadAt(offset, buffer, size);
  }
  static std::span<const std::uint8_t> Span(const std::string& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
  }
  int reads = 0;

 private:
  TMemoryByteReader inner_;
};

std::optional<TPeFileVersion> FromMemory(const std::string& bytes) {
  TCheckingReader reader(bytes);
  return ReadPeFileVersion(reader);
}

TVersionWords FromDisk(const TTempDir& dir, const std::string& bytes) {
  const std::string path = dir.File("image.exe");
  WriteFile(path, bytes);
  return GetFileVersion(path);
}

TEST(PeVersion, ReadsTheFileVersionOf32And64BitImagesFromDisk) {
  TTempDir dir;
  for (const bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "PE32+" : "PE32");
    EXPECT_EQ(FromDisk(dir, BuildPeImage({.Pe32Plus = wide}).Bytes), k1234);
    const TPeImage high =
        BuildPeImage({.Pe32Plus = wide, .VersionMS = 0xFFFE0007u, .VersionLS = 0});
    EXPECT_EQ(FromDisk(dir, high.Bytes), (TVersionWords{0xFFFE0007u, 0}));
    EXPECT_EQ(FromMemory(high.Bytes), (TPeFileVersion{0xFFFE0007u, 0}));
  }
}

TEST(PeVersion, ReadsImagesLargerThanItsWindowForwardAndBackward) {
  TTempDir dir;
  // Resources behind 3 MiB of code: the reader skips ahead.
  EXPECT_EQ(FromDisk(dir, BuildPeImage({.Pe32Plus = true, .CodeSize = 3u << 20}).Bytes), k1234);
  // The version block lies before the tree that leads to it: the reader goes back.
  EXPECT_EQ(FromDisk(dir, BuildPeImage({.CodeSize = 64u << 10, .VersionInCode = true}).Bytes),
            k1234);
}

TEST(PeVersion, OtherFilesHaveNoVersion) {
  TTempDir dir;
  EXPECT_EQ(GetFileVersion(dir.File("missing.exe")), kNone);
  EXPECT_EQ(GetFileVersion(dir.Path()), kNone);
  for (const std::string& bytes : {std::string(), std::string("abc"), std::string("MZ"),
                                   "MZ" + std::string(4094, '\0'), std::string(8192, '\xFF')})
    EXPECT_EQ(FromDisk(dir, bytes), kNone) << bytes.size();
}

TEST(PeVersion, AnImageCutShortAnywhereBeforeTheVersionHasNone) {
  for (const bool wide : {false, true}) {
    const TPeImage image = BuildPeImage({.Pe32Plus = wide});
    for (std::size_t length = 0; length < image.End(); ++length)
      ASSERT_EQ(FromMemory(image.Bytes.substr(0, length)), std::nullopt) << length;
    EXPECT_EQ(FromMemory(image.Bytes.substr(0, image.End())), (TPeFileVersion{0x10002, 0x30004}));
  }
  TTempDir dir;
  const TPeImage image = BuildPeImage();
  for (const std::size_t length : {std::size_t{1}, std::size_t{64}, image.PeHeader + 30,
                                   image.SectionTable + 50, image.Resources + 20, image.End() - 1})
    EXPECT_EQ(FromDisk(dir, image.Bytes.substr(0, length)), kNone) << length;
}

TEST(PeVersion, BrokenHeadersAndTreesHaveNoVersion) {
  using TBreak = std::function<void(TPeImage&)>;
  const auto at = [](std::size_t TPeImage::*base, std::size_t offset, std::uint32_t value,
                     bool word = false) -> TBreak {
    return [=](TPeImage& i) {
      word ? i.Put16(i.*base + offset, static_cast<std::uint16_t>(value))
           : i.Put32(i.*base + offset, value);
    };
  };
  constexpr std::uint32_t kSub = 0x80000000u;
  const std::vector<std::pair<const char*, TBreak>> breaks = {
      {"e_lfanew past the end", [](TPeImage& i) { i.Put32(0x3C, 0x10000); }},
      {"e_lfanew near 4 GiB", [](TPeImage& i) { i.Put32(0x3C, 0xFFFFFFF0u); }},
      {"no PE signature", at(&TPeImage::PeHeader, 0, 0x00004550 + 1)},
      {"unknown optional header", at(&TPeImage::OptionalHeader, 0, 0x107, true)},
      {"optional header too short", at(&TPeImage::PeHeader, 20, 0x60, true)},
      {"huge optional header", at(&TPeImage::PeHeader, 20, 0xFFFF, true)},
      {"two data directories", [](TPeImage& i) { i.Put32(i.DataDirectories - 4, 2); }},
      {"no resource directory", at(&TPeImage::DataDirectories, 16, 0)},
      {"huge section count", at(&TPeImage::PeHeader, 6, 0xFFFF, true)},
      {"no sections", at(&TPeImage::PeHeader, 6, 0, true)},
      {"resources outside every section", at(&TPeImage::DataDirectories, 16, 0x7FFF0000u)},
      {"section raw data near 4 GiB",
       [](TPeImage& i) {
         i.Put32(i.SectionTable + 40 + 16, 0xFFFFFFFFu);
         i.Put32(i.SectionTable + 40 + 20, 0xFFFFFF00u);
         i.Put32(i.SectionTable + 40 + 8, 0);
       }},
      {"huge root entry counts",
       [](TPeImage& i) { i.Put32(i.Resources + TPeImage::kRoot + 12, 0xFFFFFFFFu); }},
      {"no RT_VERSION", at(&TPeImage::Resources, TPeImage::kRootEntries + 8, 17)},
      {"RT_VERSION leads to a data entry",
       at(&TPeImage::Resources, TPeImage::kRootEntries + 12, TPeImage::kDataEntry)},
      {"RT_VERSION loops back to the root",
       at(&TPeImage::Resources, TPeImage::kRootEntries + 12, kSub | TPeImage::kRoot)},
      {"language entry is its own directory",
       at(&TPeImage::Resources, TPeImage::kNameEntry + 4, kSub | TPeImage::kNameDir)},
      {"directory beyond the section",
       at(&TPeImage::Resources, TPeImage::kTypeEntry + 4, kSub | 0x7FFFFFF0u)},
      {"version data outside every section",
       at(&TPeImage::Resources, TPeImage::kDataEntry, 0x00FFFFF0u)},
      {"version data running off its section",
       [](TPeImage& i) { i.Put32(i.Resources + TPeImage::kDataEntry, i.ResourceRva + 0xA0); }},
      {"version data size too small", at(&TPeImage::Resources, TPeImage::kDataEntry + 4, 91)},
      {"block longer than its data", at(&TPeImage::VersionBlock, 0, 0xFFFF, true)},
      {"no fixed block value", at(&TPeImage::VersionBlock, 2, 0, true)},
      {"another key", at(&TPeImage::VersionBlock, 6, 'v', true)},
      {"wrong signature", at(&TPeImage::VersionBlock, 40, 0xFEEF04BEu)},
  };
  TTempDir dir;
  for (const bool wide : {false, true}) {
    for (const auto& [name, breakIt] : breaks) {
      SCOPED_TRACE(std::string(name) + (wide ? " (PE32+)" : " (PE32)"));
      TPeImage image = BuildPeImage({.Pe32Plus = wide});
      breakIt(image);
      TCheckingReader reader(image.Bytes);
      EXPECT_EQ(ReadPeFileVersion(reader), std::nullopt);
      EXPECT_LT(reader.reads, 100);
#ifdef _WIN32
      // On Windows a file's version is what the system's version functions
      // read, and they take these oddities in their stride.
      static const std::set<std::string> systemReads = {
          "two data directories", "version data size too small", "block longer than its data",
          "another key"};
      if (systemReads.count(name) != 0) continue;
#endif
      EXPECT_EQ(FromDisk(dir, image.Bytes), kNone);
    }
  }
}

TEST(PeVersion, HarmlessOdditiesKeepTheVersion) {
  const std::vector<std::pair<const char*, std::function<void(TPeImage&)>>> oddities = {
      {"many data directories", [](TPeImage& i) { i.Put32(i.DataDirectories - 4, 0xFFFFFFFFu); }},
      {"virtual size 0 (raw size counts)", [](TPeImage& i) { i.Put32(i.SectionTable + 48, 0); }},
  };
  for (const auto& [name, change] : oddities) {
    TPeImage image = BuildPeImage();
    change(image);
    EXPECT_EQ(FromMemory(image.Bytes), (TPeFileVersion{0x10002, 0x30004})) << name;
  }
}

}  // namespace
}  // namespace kavrel::test
