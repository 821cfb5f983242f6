// Cabinet extraction and LZ expansion on real files: cabinets made by gcab and
// crafted ones, LZ files from our compressor checked against libmspack and
// Debian's msexpand, and the publisher's commands around them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <utime.h>

#include <random>
#include <sstream>

#include "CabinetImage.h"
#include "ChildProcess.h"
#include "LzExpand.h"
#include "PackageCommands.h"
#include "PathNames.h"
#include "SzddCompress.h"
#include "TestSupport.h"
#include "cabfdi.h"
#ifndef _WIN32
#include "UnpackTarget.h"
#endif

namespace kavrel::test {
namespace {

time_t ModifiedAt(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

void SetModified(const std::string& path, time_t when) {
  utimbuf times{when, when};
  ASSERT_EQ(::utime(path.c_str(), &times), 0) << path;
}

// Runs the test with local time as UTC, the zone gcab writes its times in.
class UtcTest : public ::testing::Test {
 protected:
  UtcTest() : tz_("TZ", "UTC") { ::tzset(); }
  ~UtcTest() override { ::tzset(); }

 private:
  TScopedEnv tz_;
};

using CabinetTest = UtcTest;

TEST_F(CabinetTest, GcabCabinetsExtractWithSubfoldersAndStoredDates) {
  for (const bool mszip : {false, true}) {
    TTempDir src, out;
    WriteFile(src.File("a.txt"), "first file\n");
    WriteFile(src.File("sub/deeper/b.bin"), RandomBytes(200000, 1));
    WriteFile(src.File("sub/c.txt"), std::string(100000, 'c'));
    SetModified(src.File("a.txt"), 1588748890);  // 2020-05-06 07:08:10 UTC
    MakeCabinetWithGcab(src.Path(), src.File("t.cab"), {"a.txt", "sub/deeper/b.bin", "sub/c.txt"},
                        mszip);
    std::vector<std::string> written;
    const std::string dest = out.File("new/folder/");
    ASSERT_EQ(ExtractCabinet(src.File("t.cab"), dest, &written), 0) << "mszip " << mszip;
    EXPECT_EQ(FilesBelow(out.Path()),
              (std::vector<std::string>{"new/folder/a.txt", "new/folder/sub/c.txt",
                                        "new/folder/sub/deeper/b.bin"}));
    EXPECT_EQ(written.size(), 3u);
    for (const char* name : {"a.txt", "sub/deeper/b.bin", "sub/c.txt"})
      EXPECT_EQ(ReadFile(dest + name), ReadFile(src.File(name))) << name;
    EXPECT_EQ(ModifiedAt(dest + "a.txt"), 1588748890);
  }
}

TEST_F(CabinetTest, StoredNamesWithEitherSeparatorAndAnEmptyDestination) {
  TTempDir dir;
  WriteFile(dir.File("set.cab"), StoredCabinet({{"one\\two\\x.txt", "x"}, {"y/z.txt", "z"}}));
  {
    TScopedCurrentDir here(dir.Path());
    ASSERT_EQ(ExtractCabinet("set.cab", ""), 0);
  }
  EXPECT_EQ(ReadFile(dir.File("one/two/x.txt")), "x");
  EXPECT_EQ(ReadFile(dir.File("y/z.txt")), "z");
  // Stored date and time, read as local time: 4 March 2021, 05:06:08.
  EXPECT_EQ(ModifiedAt(dir.File("y/z.txt")), 1614834368);
}

#ifndef _WIN32  // permission bits, and the libmspack side's own temporary files, are POSIX's
TEST_F(CabinetTest, ReplacedFileKeepsItsPermissionsAndANewOneGetsTheUsualOnes) {
  TTempDir dir;
  WriteFile(dir.File("out/tool"), "old");
  ASSERT_EQ(::chmod(dir.File("out/tool").c_str(), 0750), 0);
  WriteFile(dir.File("c.cab"), StoredCabinet({{"tool", "new tool"}, {"fresh", "f"}}));
  const mode_t mask = ::umask(022);
  ::umask(mask);
  ASSERT_EQ(ExtractCabinet(dir.File("c.cab"), dir.File("out/")), 0);
  EXPECT_EQ(ReadFile(dir.File("out/tool")), "new tool");
  EXPECT_EQ(ModeOf(dir.File("out/tool")), 0750u);
  EXPECT_EQ(ModeOf(dir.File("out/fresh")), 0666u & ~mask);
}

TEST(UnpackTargetTest, EachFileIsWrittenToAPrivateTemporaryFileBesideItsTarget) {
  TTempDir dir;
  TMspackFiles files;
  TUnpackTarget target;
  ASSERT_TRUE(target.Prepare(files, dir.File("a.bin")));
  const std::string folder = dir.File("");
  ASSERT_EQ(target.TempPath().compare(0, folder.size(), folder), 0) << target.TempPath();
  EXPECT_TRUE(IsTemporaryName(target.TempPath().substr(folder.size()))) << target.TempPath();
  EXPECT_EQ(ModeOf(target.TempPath()), 0600u);
}
#endif

TEST_F(CabinetTest, RefusedCabinetsWriteNothingAnywhere) {
  struct TCase {
    const char* What;
    std::string Image;  // empty: no file at all
  };
  const TCabinetEntry good{"good.txt", "good"};
  const std::vector<TCase> cases = {
      {"missing file", ""},
      {"not a cabinet", "just some text, not a cabinet\n"},
      {"climbing name", StoredCabinet({good, {"..\\evil.txt", "evil"}})},
      {"climbing inside", StoredCabinet({good, {"sub/../../evil.txt", "evil"}})},
      {"absolute name", StoredCabinet({good, {"/tmp/evil.txt", "evil"}})},
      {"rooted name", StoredCabinet({good, {"\\evil.txt", "evil"}})},
      {"drive name", StoredCabinet({good, {"C:\\evil.txt", "evil"}})},
      {"drive-relative name", StoredCabinet({good, {"C:evil.txt", "evil"}})},
      {"control character", StoredCabinet({good, {"ev\x01il.txt", "evil"}})},
      {"bad UTF-8", StoredCabinet({good, {"ev\xC3il.txt", "evil", 0xA0}})},
      {"trailing dot", StoredCabinet({good, {"sub./evil.txt", "evil"}})},
      {"next cabinet needed", StoredCabinet({good}, 0x02)},
      {"previous cabinet needed", StoredCabinet({good}, 0x01)},
  };
  for (const TCase& c : cases) {
    TTempDir dir;
    if (!c.Image.empty()) WriteFile(dir.File("in/x.cab"), c.Image);
    EXPECT_EQ(ExtractCabinet(dir.File("in/x.cab"), dir.File("in/out/")), -1) << c.What;
    const std::vector<std::string> left = FilesBelow(dir.Path());
    EXPECT_EQ(left,
              c.Image.empty() ? std::vector<std::string>{} : std::vector<std::string>{"in/x.cab"})
        << c.What;
  }
}

TEST_F(CabinetTest, DamagedDataLeavesTheOldFileWholeAndNoTemporaryFile) {
  TTempDir dir;
  const std::string old = RandomBytes(5000, 7);
  WriteFile(dir.File("out/a.bin"), old);
  // A file that claims more bytes than the cabinet holds.
  WriteFile(dir.File("short.cab"), StoredCabinet({{"a.bin", "new", 0x20, 100000}}));
  EXPECT_EQ(ExtractCabinet(dir.File("short.cab"), dir.File("out/")), -1);
  // An MSZIP cabinet cut off in the middle of its data.
  WriteFile(dir.File("src/a.bin"), RandomBytes(300000, 8));
  MakeCabinetWithGcab(dir.File("src"), dir.File("full.cab"), {"a.bin"}, true);
  const std::string full = ReadFile(dir.File("full.cab")).value();
  WriteFile(dir.File("cut.cab"), full.substr(0, full.size() / 2));
  EXPECT_EQ(ExtractCabinet(dir.File("cut.cab"), dir.File("out/")), -1);
  EXPECT_EQ(ReadFile(dir.File("out/a.bin")), old);
  EXPECT_EQ(FilesBelow(dir.File("out")), std::vector<std::string>{"a.bin"});
}

TEST(StoredNameTest, NamesBelowTheDestinationOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a.txt", "a.txt"},
      {"sub\\b.txt", "sub\\b.txt"},
      {"sub/b.txt", "sub/b.txt"},
      {"..a", "..a"},
      {"", ""},
      {".", ""},
      {"sub\\..", ""},
      {"a\\\\b", ""},
      {"sub\\", ""},
      {"name ", ""},
      {"x:y", ""},
      {"a\x7f", ""},
  };
  for (const auto& [stored, expected] : cases)
    EXPECT_EQ(SafeStoredName(stored.c_str(), false), expected) << stored;
  EXPECT_EQ(SafeStoredName("caf\xE9", false), "caf\xC3\xA9");
  EXPECT_EQ(SafeStoredName("caf\xC3\xA9", true), "caf\xC3\xA9");
  EXPECT_EQ(SafeStoredName("caf\xE9", true), "");
}

// Expanded by the system's decoder (libmspack; on Windows LZ32) and, on
// Linux, by Debian's msexpand too.
TEST(LzTest, OurCompressorRoundTripsThroughTheDecoderAndMsexpand) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i % 97) + " of the notes\n";
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"one byte", "x"},
      {"blanks", std::string(5000, ' ')},
      {"repetitive", std::string(1 << 20, 'a')},
      {"text", text},
      {"binary", RandomBytes(2 << 20, 3)},
  };
  for (const auto& [what, data] : cases) {
    TTempDir dir;
    const auto packed = SzddCompress(data, 'n');
    ASSERT_TRUE(packed) << what;
    WriteFile(dir.File("f.bi_"), *packed);
    EXPECT_EQ(ExpandLZ(dir.File("f.bi_")), dir.File("f.bin")) << what;
    EXPECT_EQ(ReadFile(dir.File("f.bin")), data) << what;
#ifndef _WIN32
    const TProgramResult r =
        RunProgram({"/bin/sh", "-c", "msexpand < f.bi_ > by-msexpand"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << what << ": " << r.Err;
    EXPECT_EQ(ReadFile(dir.File("by-msexpand")), data) << what;
#endif
  }
  EXPECT_LT(SzddCompress(text)->size(), text.size() / 4);
}

TEST(LzTest, ExpandedNameComesFromTheRecordedCharacter) {
  struct TCase {
    const char* Source;
    char Recorded;
    const char* Expanded;
  };
  const std::vector<TCase> cases = {
      {"kvsetup.ex_", 'e', "kvsetup.exe"},
      {"data.tx_", '\0', "data.tx"},
      {"odd.abc", 'z', "odd.abz"},
      {"same.bin", '\0', "same.bin"},  // its own expanded name: replaced in place
  };
  for (const TCase& c : cases) {
    TTempDir dir;
    WriteFile(dir.File("kvsetup.exe"), "an older stub");
    WriteFile(dir.File(c.Source), *SzddCompress("expanded content", c.Recorded));
    EXPECT_EQ(ExpandedLZName(dir.File(c.Source)), dir.File(c.Expanded)) << c.Source;
    ExpandLZFile(dir.File(c.Source));
    EXPECT_EQ(ReadFile(dir.File(c.Expanded)), "expanded content") << c.Source;
    if (std::string(c.Source) != c.Expanded) {
      EXPECT_FALSE(ReadFile(dir.File(c.Source))) << c.Source << " stays";
    }
  }
}

TEST(LzTest, WhatIsNotAWholeCompressedFileNeverReplacesAFile) {
  TTempDir dir;
  // Not in the LZ format: left exactly as it was, nothing else written.
  WriteFile(dir.File("notes.tx_"), "plain text");
  ExpandLZFile(dir.File("notes.tx_"));
  EXPECT_EQ(ReadFile(dir.File("notes.tx_")), "plain text");
  // A truncated source: the older expanded file stays whole; the source goes.
  WriteFile(dir.File("app.bin"), "old application");
  const std::string packed = *SzddCompress(RandomBytes(100000, 4), 'n');
  WriteFile(dir.File("app.bi_"), packed.substr(0, packed.size() / 2));
  ExpandLZFile(dir.File("app.bi_"));
  EXPECT_EQ(ReadFile(dir.File("app.bin")), "old application");
  // A recorded character that would make another name: not expanded, kept.
  WriteFile(dir.File("up.tx_"), *SzddCompress("text", '/'));
  ExpandLZFile(dir.File("up.tx_"));
  EXPECT_TRUE(ReadFile(dir.File("up.tx_")));
  // A missing source leaves nothing behind.
  ExpandLZFile(dir.File("missing.ex_"));
  EXPECT_EQ(FilesBelow(dir.Path()), (std::vector<std::string>{"app.bin", "notes.tx_", "up.tx_"}));
}

TEST(PackageCommandTest, CompressExpandAndExtractAsAPublisherUsesThem) {
  TTempDir dir;
  std::ostringstream out, err;
  WriteFile(dir.File("app.exe"), "program bytes");
  ASSERT_EQ(CompressCommand({dir.File("app.exe"), dir.File("app.ex_")}, out, err), 0) << err.str();
  EXPECT_EQ(ExpandedLZName(dir.File("app.ex_")), dir.File("app.exe"));
  ASSERT_EQ(
      CompressCommand({"--last-char", "l", dir.File("app.exe"), dir.File("lib.dl_")}, out, err), 0);
  EXPECT_EQ(ExpandedLZName(dir.File("lib.dl_")), dir.File("lib.dll"));
  out.str("");
  EXPECT_EQ(ExpandCommand({dir.File("lib.dl_")}, out, err), 0);
  EXPECT_EQ(out.str(), dir.File("lib.dll") + "\n");
  EXPECT_EQ(ReadFile(dir.File("lib.dll")), "program bytes");
  EXPECT_FALSE(ReadFile(dir.File("lib.dl_")));
  // Failures: exit 1 and the file untouched; usage errors: exit 2.
  EXPECT_EQ(ExpandCommand({dir.File("app.exe")}, out, err), 1);
  EXPECT_EQ(ReadFile(dir.File("app.exe")), "program bytes");
  EXPECT_EQ(CompressCommand({dir.File("app.exe"), dir.File("app.exe")}, out, err), 1);
  EXPECT_EQ(ReadFile(dir.File("app.exe")), "program bytes");
  EXPECT_EQ(CompressCommand({"--last-char", "ab", "x", "y"}, out, err), 2);
  EXPECT_EQ(ExpandCommand({}, out, err), 2);
  EXPECT_EQ(ExtractCommand({"only-one"}, out, err), 2);

  WriteFile(dir.File("c.cab"), StoredCabinet({{"sub\\x.txt", "x"}}));
  out.str("");
  EXPECT_EQ(ExtractCommand({dir.File("c.cab"), dir.File("out")}, out, err), 0);
  EXPECT_EQ(out.str(), platform::ToNativePath(dir.File("out/sub/x.txt")) + "\n");
  EXPECT_EQ(ExtractCommand({dir.File("app.exe"), dir.File("out")}, out, err), 1);
}

}  // namespace
}  // namespace kavrel::test
