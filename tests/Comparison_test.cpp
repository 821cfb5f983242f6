// Comparison of local files: both checksums, the size, the file version, and
// how VersionCheck and UseCRC32 steer CompareLocalFile.
#include <gtest/gtest.h>

#include <filesystem>

#include "FileMeasures.h"
#include "PeImage.h"
#include "RecordingEngine.h"
#include "TestSupport.h"
#include "Text.h"
#include "Version.h"
#include "kvcrc32.h"

namespace kavrel::test {
namespace {

// The checksum with addition computed bit by bit, without a table.
std::int32_t ReferenceCrc(const std::string& bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (const char ch : bytes) {
    std::uint32_t step = (c ^ static_cast<std::uint8_t>(ch)) & 0xFFu;
    for (int bit = 0; bit < 8; ++bit) step = (step >> 1) ^ (0xEDB88320u & (0u - (step & 1u)));
    c += step ^ (c >> 8);
  }
  return static_cast<std::int32_t>(~c);
}

std::int32_t ReferenceByteSum(const std::string& bytes) {
  std::uint32_t sum = 0xFFFFFFFFu;
  for (const char ch : bytes) sum += static_cast<std::uint8_t>(ch);
  return static_cast<std::int32_t>(sum);
}

TEST(FileMeasures, ChecksumsOfKnownBytesAndOfFilesWithoutBytes) {
  TTempDir dir;
  WriteFile(dir.File("abc"), "abc");
  WriteFile(dir.File("empty"), "");
  EXPECT_EQ(ByteSumChecksum(dir.File("abc")), 293);
  EXPECT_EQ(FileCRC(dir.File("abc")), 1821220161);
  EXPECT_EQ(FileCRC(dir.File("abc")), ReferenceCrc("abc"));
  for (const std::string& path : {dir.File("empty"), dir.File("missing"), dir.Path()}) {
    EXPECT_EQ(ByteSumChecksum(path), -1) << path;
    EXPECT_EQ(FileCRC(path), 0) << path;
  }
}

TEST(FileMeasures, ChecksumsOfFilesOfSeveralBlocks) {
  TTempDir dir;
  for (const std::size_t size : {4095u, 4096u, 8192u, 70001u, 300007u}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    WriteFile(dir.File("data"), bytes);
    EXPECT_EQ(ByteSumChecksum(dir.File("data")), ReferenceByteSum(bytes)) << size;
    EXPECT_EQ(FileCRC(dir.File("data")), ReferenceCrc(bytes)) << size;
    EXPECT_EQ(FileSizeOf(dir.File("data")), static_cast<int>(size));
  }
}

TEST(FileMeasures, SizeIsTheLow32BitsAsASignedNumber) {
  TTempDir dir;
  EXPECT_EQ(FileSizeOf(dir.File("missing")), -1);
  // Sparse files: no disk space is used.
  WriteFile(dir.File("big"), "");
  std::filesystem::resize_file(dir.File("big"), (std::uintmax_t{1} << 32) + 5);
  EXPECT_EQ(FileSizeOf(dir.File("big")), 5);
  std::filesystem::resize_file(dir.File("big"), std::uintmax_t{3} << 30);
  EXPECT_EQ(FileSizeOf(dir.File("big")), -(1 << 30));
}

// Numbers far beyond 64 bits wrap (only their low 16 bits count), with a sign too.
TEST(VersionTextLimits, NumbersOfAnyLengthAndSignWrap) {
  EXPECT_EQ(ParseVersion("-9223372036854775808.1"), (TVersionWords{1, 0}));
  EXPECT_EQ(ParseVersion("-1." + std::string(40, '0') + "7"), (TVersionWords{0xFFFF0007u, 0}));
  EXPECT_EQ(ScanInteger("-9223372036854775808").Value(), INT64_MIN);
}

class CompareLocalFileTest : public ::testing::Test {
 protected:
  CompareLocalFileTest() {
    WriteFile(abc_, "abc");
    WriteFile(empty_, "");
    WriteFile(app_, BuildPeImage().Bytes);  // version 1.2.3.4
  }

  // One comparison; the texts as the engine left them go to newText/localText.
  bool Compare(TKavrelVersionCheck check, const std::string& newVersion, const std::string& local,
               int size = 0, int checksum = -1) {
    engine_.VersionCheck = check;
    newText = newVersion;
    localText = local;
    engine_.statuses.clear();
    return engine_.CompareLocalFile(newText, localText, size, checksum);
  }
  // The argument of the one report 944, or "none".
  std::string Report() const {
    if (engine_.statuses.empty()) return "none";
    EXPECT_EQ(engine_.statuses.size(), 1u);
    const TStatusRecord& s = engine_.statuses.front();
    EXPECT_EQ(s.Ident, 944);
    EXPECT_EQ(s.StatusCode, 3);
    EXPECT_EQ(s.ErrCode, 0);
    return s.Arg;
  }

  TTempDir dir_;
  const std::string abc_ = dir_.File("abc.txt"), empty_ = dir_.File("empty.txt"),
                    app_ = dir_.File("app.exe"), missing_ = dir_.File("missing.exe");
  TRecordingEngine engine_;
  std::string newText, localText;
};

TEST_F(CompareLocalFileTest, NothingToCompareOrNoLocalPathUpdates) {
  for (const auto check : {vcUpdateOnly, vcAlways}) {
    EXPECT_TRUE(Compare(check, "", app_));
    EXPECT_TRUE(Compare(check, "1.0", ""));
    EXPECT_TRUE(Compare(check, "", "", 0, 5));
    EXPECT_EQ(Report(), "none");
  }
  // A negative size is not "nothing": it reaches the version, which is no version.
  EXPECT_FALSE(Compare(vcAlways, "", app_, -5));
  EXPECT_EQ(Report(), "Version compare of " + app_ + ":1.2.3.4 with :65535.65535.65535.65535");
}

TEST_F(CompareLocalFileTest, AMissingFileFollowsTheExistenceTable) {
  EXPECT_TRUE(Compare(vcUpdateOnly, "", missing_, 0, 123));
  EXPECT_EQ(Report(), "Checksum compare of " + missing_ + ":-1:123");
  engine_.UseCRC32 = true;
  EXPECT_FALSE(Compare(vcUpdateOnly, "", missing_, 0, 0)) << "a missing file's checksum is 0";
  EXPECT_EQ(Report(), "Checksum compare of " + missing_ + ":0:0");
  EXPECT_TRUE(Compare(vcAlways, "", missing_, 0, 0));
  EXPECT_EQ(Report(), "none");
  EXPECT_FALSE(Compare(vcUpdateOnly, "", missing_, 10));
  EXPECT_TRUE(Compare(vcAlways, "", missing_, 10));
  EXPECT_FALSE(Compare(vcUpdateOnly, "2.0", missing_));
  EXPECT_EQ(localText, missing_) << "no version: the texts stay";
  EXPECT_TRUE(Compare(vcAlways, "2.0", missing_));
}

TEST_F(CompareLocalFileTest, AChecksumDecidesAloneAndIsReported) {
  for (const auto check : {vcUpdateOnly, vcAlways}) {
    EXPECT_FALSE(Compare(check, "9.9", abc_, 999, 293)) << "size and version are ignored";
    EXPECT_EQ(Report(), "Checksum compare of " + abc_ + ":293:293");
    EXPECT_TRUE(Compare(check, "", abc_, 3, 294));
  }
  engine_.UseCRC32 = true;
  EXPECT_FALSE(Compare(vcUpdateOnly, "", abc_, 0, 1821220161));
  EXPECT_TRUE(Compare(vcUpdateOnly, "", abc_, 0, 293));
  EXPECT_EQ(Report(), "Checksum compare of " + abc_ + ":1821220161:293");
  EXPECT_EQ(localText, abc_);
}

TEST_F(CompareLocalFileTest, SizeRulesUnderBothVersionChecks) {
  for (const auto check : {vcUpdateOnly, vcAlways}) {
    EXPECT_FALSE(Compare(check, "9.9", abc_, 3)) << "the version is ignored";
    EXPECT_TRUE(Compare(check, "", abc_, 4));
    EXPECT_EQ(Report(), "none");
  }
  // An empty file reads as size 0: updated by size only under vcAlways.
  EXPECT_FALSE(Compare(vcUpdateOnly, "", empty_, 4));
  EXPECT_TRUE(Compare(vcAlways, "", empty_, 4));
}

TEST_F(CompareLocalFileTest, VersionsCompareByWordsAndReplaceBothTexts) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"1.2.3.4", false}, {"1.2.3.5", true},  {"1.3", true},
      {"1,2,3", false},   {"1.2.3.3", false}, {"40000.0", false},  // signed major
  };
  for (const auto& [version, expected] : cases)
    EXPECT_EQ(Compare(vcUpdateOnly, version, app_), expected) << version;

  EXPECT_TRUE(Compare(vcUpdateOnly, "1,3", app_));
  EXPECT_EQ(Report(), "Version compare of " + app_ + ":1.2.3.4 with 1,3:1.3.0.0");
  EXPECT_EQ(newText, "1.3.0.0");
  EXPECT_EQ(localText, "1.2.3.4");

  EXPECT_FALSE(Compare(vcAlways, "1.2.3.4.5", app_));
  EXPECT_EQ(Report(),
            "Version compare of " + app_ + ":1.2.3.4 with 1.2.3.4.5:65535.65535.65535.65535");
  EXPECT_EQ(newText, "1.2.3.4.5");
  EXPECT_EQ(localText, app_);
}

TEST_F(CompareLocalFileTest, AFileWithoutVersionIsUpdatedOnlyUnderVcAlways) {
  EXPECT_FALSE(Compare(vcUpdateOnly, "2.0", abc_));
  EXPECT_EQ(Report(), "Version compare of " + abc_ + ":65535.65535.65535.65535 with 2.0:2.0.0.0");
  EXPECT_EQ(localText, abc_);
  EXPECT_TRUE(Compare(vcAlways, "2.0", abc_));
  EXPECT_EQ(localText, "65535.65535.65535.65535");
  EXPECT_EQ(newText, "2.0.0.0");
  EXPECT_FALSE(Compare(vcAlways, "32768.0", abc_)) << "a major of 32768 or more is negative";
}

}  // namespace
}  // namespace kavrel::test
