#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "ControlFile.h"
#include "Kavrel.h"
#include "System.h"
#include "TestSupport.h"
#include "Version.h"

namespace kavrel {
namespace {

using namespace std::chrono_literals;
using test::TScopedCurrentDir;
using test::TTempDir;

TDateTime Date(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return EncodeDateTime(TDateParts{y, m, d, h, n, s, 0});
}

// A control file written to a fresh folder and read back as the engine reads it.
class ControlValues : public testing::Test {
 protected:
  TControlFile Load(std::string_view text) {
    const std::string path = dir_.File("update.ini");
    test::WriteFile(path, text);
    return TControlFile(path);
  }

  TTempDir dir_;
  TKavrel engine_;
};

TEST_F(ControlValues, MissingFileReadsAsEmpty) {
  const TControlFile control(dir_.File("no-such-file.ini"));
  EXPECT_EQ(control.ReadText("update", "descr", "dflt"), "dflt");
  EXPECT_EQ(control.ReadInteger("update", "newchecksum", -1), -1);
  EXPECT_TRUE(control.ReadFlag("file1", "preselect", true));
  EXPECT_FALSE(control.ReadTrigger("update", "unconditional"));
  EXPECT_FALSE(control.ReadDate(engine_, "update", "date").has_value());
  EXPECT_FALSE(control.ReadVersion("update", "newversion").Valid());
}

TEST_F(ControlValues, TextIsReadAsStoredWithoutMacros) {
  const auto control = Load("[UPDATE]\r\nDescr= New {APP} release \\n two \r\n");
  EXPECT_EQ(control.ReadText("update", "descr"), "New {APP} release \\n two");
  EXPECT_EQ(control.ReadText("update", "signature"), "");
}

TEST_F(ControlValues, PathsHaveTheirMacrosExpanded) {
  const auto control = Load(
      "[application]\nappname={APP}\\app.exe\nappcomps={app}\\a.dll;{APP}\\b.dll\n"
      "appparam={APP}\nplain=C:\\Program\\x.exe\n");
  TScopedCurrentDir cwd(dir_.Path());
  const std::string app = std::filesystem::canonical(dir_.Path()).string();
  EXPECT_EQ(control.ReadPath(engine_, "application", "appname"), app + "\\app.exe");
  EXPECT_EQ(control.ReadPath(engine_, "application", "appcomps"),
            app + "\\a.dll;" + app + "\\b.dll");
  EXPECT_EQ(control.ReadPath(engine_, "application", "plain"), "C:\\Program\\x.exe");
  EXPECT_EQ(control.ReadPath(engine_, "application", "absent"), "");
  EXPECT_EQ(control.ReadText("application", "appparam"), "{APP}");
}

TEST_F(ControlValues, MessagesTurnBackslashNIntoCarriageReturns) {
  const auto control = Load(
      "[action]\nmsg=Line one\\nLine two\\n\\nEnd\nquery=Tab\\t kept, \\N kept, "
      "path C:\\new\\\\n\n");
  EXPECT_EQ(control.ReadMessage("action", "msg"), "Line one\rLine two\r\rEnd");
  EXPECT_EQ(control.ReadMessage("action", "query"), "Tab\\t kept, \\N kept, path C:\rew\\\r");
  EXPECT_EQ(control.ReadMessage("action", "absent"), "");
}

TEST_F(ControlValues, IntegersWithTheirDefaults) {
  const auto control = Load(
      "[update]\nnewsize=$10\nnewchecksum=-1\n"
      "[files]\ncount=0x3\n[file1]\nfilesize=12abc\nnewsize=99999999999\n");
  EXPECT_EQ(control.ReadInteger("update", "newsize", 0), 16);
  EXPECT_EQ(control.ReadInteger("update", "newchecksum", 5), -1);
  EXPECT_EQ(control.ReadInteger("files", "count", 0), 3);
  EXPECT_EQ(control.ReadInteger("file1", "filesize", 0), 0);
  EXPECT_EQ(control.ReadInteger("file1", "newsize", 7), 7);
  EXPECT_EQ(control.ReadInteger("file1", "newchecksum", -1), -1);
}

TEST_F(ControlValues, FlagsAreTrueOnlyForOne) {
  const auto control = Load(
      "[application]\nappupdate=yes\nsilentrestart=2\n"
      "[file1]\nmandatory=1\nhidden=true\ncompressed= 1 \n"
      "[file2]\npreselect=0\nmandatory=$1\nhidden=-1\n");
  EXPECT_FALSE(control.ReadFlag("application", "appupdate", false));
  EXPECT_FALSE(control.ReadFlag("application", "silentrestart", false));
  EXPECT_TRUE(control.ReadFlag("file1", "mandatory", false));
  EXPECT_FALSE(control.ReadFlag("file1", "hidden", false));
  EXPECT_TRUE(control.ReadFlag("file1", "compressed", false));
  // An absent flag reads as its default, which is true for "preselect".
  EXPECT_TRUE(control.ReadFlag("file1", "preselect", true));
  EXPECT_FALSE(control.ReadFlag("file2", "preselect", true));
  EXPECT_TRUE(control.ReadFlag("file2", "mandatory", false));
  EXPECT_FALSE(control.ReadFlag("file2", "hidden", true));
}

TEST_F(ControlValues, TriggersFireOnAnyNonEmptyValue) {
  const auto control = Load(
      "[update]\nunconditional=0\n[a]\nunconditional=\n[b]\nunconditional=\"\"\n"
      "[c]\nunconditional=  \n");
  EXPECT_TRUE(control.ReadTrigger("update", "unconditional"));
  EXPECT_FALSE(control.ReadTrigger("a", "unconditional"));
  EXPECT_FALSE(control.ReadTrigger("b", "unconditional"));
  EXPECT_FALSE(control.ReadTrigger("c", "unconditional"));
  EXPECT_FALSE(control.ReadTrigger("d", "unconditional"));
}

TEST_F(ControlValues, DatesFollowTheEngineDateOrder) {
  struct Case {
    const char* format;
    const char* separator;
    const char* text;
  };
  for (const Case& c :
       {Case{"dd/mm/yyyy", "/", "31/12/2009"}, Case{"d/m/y", "/", "31/12/2009"},
        Case{"mm/dd/yyyy", "/", "12/31/2009"}, Case{"MM-DD-YYYY", "-", "12-31-2009"},
        Case{"yyyy/mm/dd", "/", "2009/12/31"}, Case{"yyyy-mm-dd", "-", "2009-12-31"},
        Case{"dd.mm.yyyy", ".", "31.12.2009"}, Case{"yy.m.d", ".", "2009.12.31"},
        Case{"dd/mm/yyyy", "/", " 31 / 12 / 2009 "},
        Case{"dd/mm/yyyy", "\u00B7", "31\u00B712\u00B72009"},
        Case{"yyyy/mm/dd", "\u5E74", "2009\u5E7412\u5E7431"}}) {
    engine_.DateFormat = c.format;
    engine_.DateSeparator = c.separator;
    const auto date = ParseControlDate(engine_, c.text, 2020);
    ASSERT_TRUE(date.has_value()) << c.format << " " << c.text;
    EXPECT_EQ(*date, Date(2009, 12, 31)) << c.format << " " << c.text;
  }
}

TEST_F(ControlValues, ShortDatesAndYears) {
  // Two numbers: the year is the current one, the order still follows the format.
  EXPECT_EQ(ParseControlDate(engine_, "31/12", 2011), Date(2011, 12, 31));
  engine_.DateFormat = "mm/dd/yyyy";
  EXPECT_EQ(ParseControlDate(engine_, "12/31", 2011), Date(2011, 12, 31));
  engine_.DateFormat = "yyyy/mm/dd";
  EXPECT_EQ(ParseControlDate(engine_, "12/31", 2011), Date(2011, 12, 31));
  EXPECT_EQ(ParseControlDate(engine_, "09/12/31", 2024), Date(2009, 12, 31));
  engine_.DateFormat = "dd/mm/yyyy";
  // One or two digits of year are completed in the current century.
  EXPECT_EQ(ParseControlDate(engine_, "31/12/09", 2024), Date(2009, 12, 31));
  EXPECT_EQ(ParseControlDate(engine_, "1/2/9", 2024), Date(2009, 2, 1));
  EXPECT_EQ(ParseControlDate(engine_, "29/02/2008", 2024), Date(2008, 2, 29));
}

TEST_F(ControlValues, UnreadableDates) {
  for (const char* text :
       {"2009-12-31", "31/02/2009", "29/02/2009", "32/01/2009", "00/01/2009", "31/13/2009",
        "1/2/3/4", "31", "a/b/c", "31/12/2009x", "31//2009", "", "-1/12/2009"})
    EXPECT_FALSE(ParseControlDate(engine_, text, 2024).has_value()) << text;
}

TEST_F(ControlValues, ReadDateFromTheFile) {
  const auto control = Load(
      "[update]\ndate=31/12/2009\n[hyphens]\ndate=2009-12-31\n[short]\ndate=24/06\n"
      "[empty]\ndate=\n");
  EXPECT_EQ(control.ReadDate(engine_, "update", "date"), Date(2009, 12, 31));
  // Present but unreadable: 1 January 1980; absent or empty: no date at all.
  EXPECT_EQ(control.ReadDate(engine_, "hyphens", "date"), Date(1980, 1, 1));
  EXPECT_EQ(control.ReadDate(engine_, "hyphens", "date"), DefaultControlDate());
  EXPECT_FALSE(control.ReadDate(engine_, "empty", "date").has_value());
  EXPECT_FALSE(control.ReadDate(engine_, "update", "absent").has_value());
  const int year = DecodeDateTime(platform::LocalNow()).Year;
  EXPECT_EQ(control.ReadDate(engine_, "short", "date"), Date(year, 6, 24));

  engine_.DateFormat = "yyyy-mm-dd";
  engine_.DateSeparator = '-';
  EXPECT_EQ(control.ReadDate(engine_, "hyphens", "date"), Date(2009, 12, 31));
  EXPECT_EQ(control.ReadDate(engine_, "update", "date"), Date(1980, 1, 1));
}

TEST_F(ControlValues, TimesWithAndWithoutSeconds) {
  EXPECT_EQ(ParseControlTime(engine_, "23:59"), 23h + 59min);
  EXPECT_EQ(ParseControlTime(engine_, "7:05:09"), 7h + 5min + 9s);
  EXPECT_EQ(ParseControlTime(engine_, "00:00"), 0ms);
  for (const char* text :
       {"24:00", "23:60", "12:00:60", "12", "ab:cd", "12:30:15:01", "", "12.30", "-1:30"})
    EXPECT_FALSE(ParseControlTime(engine_, text).has_value()) << text;

  engine_.TimeSeparator = '.';
  EXPECT_EQ(ParseControlTime(engine_, "23.59"), 23h + 59min);
  EXPECT_EQ(ParseControlTime(engine_, "23.59.30"), 23h + 59min + 30s);
  EXPECT_FALSE(ParseControlTime(engine_, "23:59").has_value());
  engine_.TimeSeparator = "\u6642";
  EXPECT_EQ(ParseControlTime(engine_, "23\u664259\u664230.250"), 23h + 59min + 30s + 250ms);
  EXPECT_FALSE(ParseControlTime(engine_, "23\xE6\x99\x35\x39").has_value())
      << "part of the character";

  const auto control = Load("[update]\ntime=10:30\n[bad]\ntime=half past ten\n");
  engine_.TimeSeparator = ':';
  EXPECT_EQ(control.ReadTime(engine_, "update", "time"), 10h + 30min);
  EXPECT_FALSE(control.ReadTime(engine_, "bad", "time").has_value());
  EXPECT_FALSE(control.ReadTime(engine_, "update", "absent").has_value());
}

TEST_F(ControlValues, DateAndTimeTogether) {
  EXPECT_EQ(engine_.ParseControlDateTime("31/12/2009", "23:59"), Date(2009, 12, 31, 23, 59));
  EXPECT_EQ(engine_.ParseControlDateTime("31/12/2009", "23:59:30"), Date(2009, 12, 31, 23, 59, 30));
  EXPECT_EQ(engine_.ParseControlDateTime("31/12/2009", ""), Date(2009, 12, 31));
  // A bad time adds nothing; a bad date is 1 January 1980.
  EXPECT_EQ(engine_.ParseControlDateTime("31/12/2009", "25:00"), Date(2009, 12, 31));
  EXPECT_EQ(engine_.ParseControlDateTime("2009-12-31", ""), Date(1980, 1, 1));
  EXPECT_EQ(engine_.ParseControlDateTime("2009-12-31", "bad"), Date(1980, 1, 1));
}

// The engine's date settings are its own: reading with them neither needs nor
// changes the user's regional settings, whether a test installed some unlike
// the engine's or the system's own are in force.
TEST_F(ControlValues, ReadingDatesLeavesTheUserSettingsAlone) {
  struct TRestore {
    ~TRestore() { platform::OverrideUserFormatSettings(std::nullopt); }
  } restore;
  TFormatSettings user;
  user.ShortDateFormat = "yyyy/mm/dd";
  user.DateSeparator = '-';
  user.LongTimeFormat = "hh:nn:ss";
  user.TimeSeparator = '.';

  engine_.DateFormat = "mm/dd/yyyy";
  engine_.DateSeparator = '/';
  engine_.TimeFormat = "hh:nn";
  engine_.TimeSeparator = ':';
  const auto control = Load("[update]\ndate=12/31/2009\ntime=23:59\n");
  for (const std::optional<TFormatSettings>& installed :
       {std::optional(user), std::optional<TFormatSettings>()}) {
    platform::OverrideUserFormatSettings(installed);
    const std::string before = test::RegionalSettings();
    EXPECT_EQ(control.ReadDate(engine_, "update", "date"), Date(2009, 12, 31));
    EXPECT_EQ(control.ReadTime(engine_, "update", "time"), 23h + 59min);
    EXPECT_EQ(engine_.ParseControlDateTime("12/31/2009", "23:59"), Date(2009, 12, 31, 23, 59));
    EXPECT_EQ(test::RegionalSettings(), before);
  }
}

// ---- Version texts ----

std::string Text(std::string_view version) { return VersionToText(ParseVersion(version)); }

TEST(VersionText, SeparatorsAndMissingNumbers) {
  EXPECT_EQ(ParseVersion("1,2,3,4"), ParseVersion("1.2.3.4"));
  EXPECT_EQ(ParseVersion("1.2.3.4"), (TVersionWords{0x00010002u, 0x00030004u}));
  EXPECT_EQ(Text("1.2.3"), "1.2.3.0");
  EXPECT_EQ(Text("1,2,3"), "1.2.3.0");
  EXPECT_EQ(Text("1.2"), "1.2.0.0");
  EXPECT_EQ(Text("2"), "2.0.0.0");
  EXPECT_EQ(Text(" 2.1.5"), "2.1.5.0");
  EXPECT_TRUE(ParseVersion("2").Valid());
  EXPECT_TRUE(ParseVersion("0.0.0.0").Valid());
}

TEST(VersionText, TextsThatAreNoVersion) {
  for (const char* text : {"1.2.3.4.5", "", "abc", "1.2.3.x", "1,2,3,4,5"}) {
    EXPECT_FALSE(ParseVersion(text).Valid()) << text;
  }
  EXPECT_EQ(Text("1.2.3.4.5"), "65535.65535.65535.65535");
  EXPECT_EQ(Text(""), "65535.65535.65535.65535");
  EXPECT_EQ(VersionToText(TVersionWords{}), "65535.65535.65535.65535");
}

TEST(VersionText, NumbersCountModulo65536) {
  EXPECT_EQ(Text("65536.65537.65538.65539"), "0.1.2.3");
  EXPECT_EQ(Text("1.2.3.70000"), "1.2.3.4464");
  EXPECT_EQ(Text("65535.65534.65535.65534"), "65535.65534.65535.65534");
  EXPECT_TRUE(ParseVersion("65535.65534.65535.65534").Valid());
}

TEST(VersionText, ComparisonIsSignedPerWord) {
  auto cmp = [](std::string_view a, std::string_view b) {
    return CompareVersionWords(ParseVersion(a), ParseVersion(b));
  };
  EXPECT_EQ(cmp("1.2.3.4", "1,2,3,4"), 0);
  EXPECT_LT(cmp("1.2.3.4", "1.2.3.5"), 0);
  EXPECT_GT(cmp("1.3", "1.2.3.4"), 0);
  EXPECT_LT(cmp("1.2.3", "1.2.3.4"), 0);
  EXPECT_GT(cmp("32767.0", "1.0"), 0);
  // A major number of 32768 or more sets the sign bit of the first word.
  EXPECT_LT(cmp("32768.0", "1.0"), 0);
  EXPECT_LT(cmp("1.0.32768.0", "1.0.1.0"), 0);
  // No version (all ones, -1 signed) is older than any version below 32768.
  EXPECT_LT(CompareVersionWords(TVersionWords{}, ParseVersion("0.0.0.1")), 0);
  EXPECT_GT(CompareVersionWords(TVersionWords{}, ParseVersion("40000.0")), 0);
}

}  // namespace
}  // namespace kavrel

namespace kavrel {
namespace {

TEST(ControlFileLimits, AnOversizedControlFileReadsAsEmpty) {
  test::TTempDir dir;
  const std::string path = dir.File("huge.ini");
  test::WriteFile(path, "[update]\r\nunconditional=1\r\n");
  EXPECT_TRUE(TControlFile(path).ReadTrigger("update", "unconditional"));
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(TControlFile::kMaxSize) + 1), 0);
  EXPECT_FALSE(TControlFile(path).ReadTrigger("update", "unconditional"));
}

}  // namespace
}  // namespace kavrel
