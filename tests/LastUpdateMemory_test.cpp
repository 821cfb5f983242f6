// The registry memory of the last update, on hive files in a test folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "IniDocument.h"
#include "RecordingEngine.h"
#include "Registry.h"
#include "System.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

using platform::TRegRoot;

class TMemoryEngine : public TRecordingEngine {
 public:
  using TKavrel::ReadLastUpdateDate;
  using TKavrel::ReadLastURL;
  using TKavrel::WriteLastUpdateDate;
  using TKavrel::WriteLastURL;
  bool SaveLastDateFlag() const { return SaveLastDate; }
  void SetLocalVersionFile(const std::string& path) { LocalVersionFile = path; }
};

class LastUpdateMemoryTest : public ::testing::Test {
 protected:
  LastUpdateMemoryTest() : registry("Software\\Vendor") {
    TFormatSettings fixed;
    fixed.ShortDateFormat = "dd/mm/yyyy";
    fixed.DateSeparator = '.';
    fixed.LongTimeFormat = "hh:nn:ss";
    fixed.TimeSeparator = ':';
    platform::OverrideUserFormatSettings(fixed);
    engine.LastURLEntry.Key = "Software\\Vendor\\App";
    engine.LastURLEntry.Section = "Update";
    engine.LastURLEntry.Save = true;
  }
  ~LastUpdateMemoryTest() override { platform::OverrideUserFormatSettings(std::nullopt); }

  // A value as the registry holds it, below the user's root unless told.
  static std::optional<std::string> Stored(const char* name, const char* key = kKey,
                                           TRegRoot root = TRegRoot::CurrentUser) {
    const auto opened = platform::OpenRegistryKey(root, key, platform::TRegAccess::Read, false);
    return opened ? opened->ReadString(name) : std::nullopt;
  }
  static void Store(const char* name, const std::string& value, const char* key = kKey,
                    TRegRoot root = TRegRoot::CurrentUser) {
    auto opened = platform::OpenRegistryKey(root, key, platform::TRegAccess::Full, true);
    ASSERT_TRUE(opened);
    opened->WriteString(name, value);
  }

  static constexpr const char* kKey = "Software\\Vendor\\App\\Update";
  TScopedRegistry registry;
  TMemoryEngine engine;
};

TEST_F(LastUpdateMemoryTest, AddressAndDateRoundTripInTheUsersFormats) {
  engine.WriteLastURL("http://updates.example/{APP}/next.ini");
  engine.WriteLastUpdateDate(EncodeDateTime({2009, 3, 21, 14, 2, 37, 0}));
  EXPECT_EQ(Stored("LastURL"), "http://updates.example/{APP}/next.ini");
  EXPECT_EQ(Stored("LastDate"), "21.03.2009");
  EXPECT_EQ(Stored("LastTime"), "14:02:37");
  EXPECT_EQ(engine.ReadLastURL(), "http://updates.example/{APP}/next.ini");
  EXPECT_EQ(engine.ReadLastUpdateDate(), EncodeDateTime({2009, 3, 21, 14, 2, 37, 0}));
  EXPECT_TRUE(engine.SaveLastDateFlag());
}

TEST_F(LastUpdateMemoryTest, ARememberedAddressNeverTakesHttpsToAWeakerScheme) {
  const struct {
    const char *configured, *remembered, *used;
  } cases[] = {
      {"https://a.example/u.ini", "https://b.example/u.ini", "https://b.example/u.ini"},
      {"https://a.example/u.ini", "http://b.example/u.ini", "https://a.example/u.ini"},
      {"HTTPS://a.example/u.ini", "ftp://b.example/u.ini", "HTTPS://a.example/u.ini"},
      {"http://a.example/u.ini", "ftp://b.example/u.ini", "ftp://b.example/u.ini"},
  };
  for (const auto& c : cases) {
    engine.statuses.clear();
    engine.URL = c.configured;
    engine.WriteLastURL(c.remembered);
    std::string address;
    engine.GetControlFile(address);
    EXPECT_EQ(address, c.used) << c.remembered;
    const bool refused = std::string(c.used) != c.remembered;
    ASSERT_EQ(engine.Idents(), refused ? std::vector<int>{980} : std::vector<int>{});
    if (refused) {
      EXPECT_EQ(engine.statuses[0].Arg,
                std::string(c.remembered) + ": not https as " + c.configured);
    }
  }
}

TEST_F(LastUpdateMemoryTest, KeyAndSectionAreReadBackWhateverTextTheyHold) {
  const std::pair<const char*, const char*> names[] = {{"Software\\Vendor ]", " Update "},
                                                       {"Software\\50%25 [off]", "Up\tdate]"}};
  for (const auto& [key, section] : names) {
    engine.LastURLEntry.Key = key;
    engine.LastURLEntry.Section = section;
    for (int run = 0; run < 2; ++run) {
      engine.WriteLastURL("http://updates.example/next.ini");
      engine.WriteLastUpdateDate(EncodeDateTime({2009, 3, 21, 14, 2, 37, 0}));
    }
    EXPECT_EQ(engine.ReadLastURL(), "http://updates.example/next.ini") << key << section;
    EXPECT_EQ(engine.ReadLastUpdateDate(), EncodeDateTime({2009, 3, 21, 14, 2, 37, 0}))
        << key << section;
  }
#ifndef _WIN32  // the hive file POSIX keeps the registry in
  const TIniDocument hive =
      TIniDocument::Parse(ReadFile(registry.HiveFile("HKEY_CURRENT_USER.ini")).value_or(""));
  EXPECT_EQ(hive.SectionNames().size(), 2u) << "one section per key, however often written";
#endif
}

TEST_F(LastUpdateMemoryTest, MidnightLeavesAnEarlierTimeWhichIsAddedWhenRead) {
  engine.WriteLastUpdateDate(EncodeDateTime({2009, 3, 21, 14, 2, 37, 0}));
  engine.WriteLastUpdateDate(EncodeDateTime({2010, 1, 2, 0, 0, 0, 0}));
  EXPECT_EQ(engine.ReadLastUpdateDate(), EncodeDateTime({2010, 1, 2, 14, 2, 37, 0}));
}

TEST_F(LastUpdateMemoryTest, WithoutSaveTheDateIsReadButNothingIsWritten) {
  engine.WriteLastUpdateDate(EncodeDateTime({2009, 3, 21, 0, 0, 0, 0}));
  engine.WriteLastURL("http://first/");
  engine.LastURLEntry.Save = false;
  engine.WriteLastUpdateDate(EncodeDateTime({2011, 1, 1, 0, 0, 0, 0}));
  engine.WriteLastURL("http://second/");
  EXPECT_EQ(engine.ReadLastUpdateDate(), EncodeDateTime({2009, 3, 21, 0, 0, 0, 0}));
  EXPECT_EQ(engine.ReadLastURL(), "");
  EXPECT_EQ(Stored("LastURL"), "http://first/");
}

TEST_F(LastUpdateMemoryTest, ConfiguredButEmptyMemoryCountsFrom1980NotTheReferenceFile) {
  TTempDir dir;
  WriteFile(dir.File("app.exe"), "x");
  engine.SetLocalVersionFile(dir.File("app.exe"));
  EXPECT_EQ(engine.ReadLastUpdateDate(), DefaultControlDate());
  EXPECT_TRUE(engine.SaveLastDateFlag());
}

TEST_F(LastUpdateMemoryTest, WithoutSectionTheReferenceFileTimeCounts) {
  TTempDir dir;
  WriteFile(dir.File("app.exe"), "x");
  engine.LastURLEntry.Section.clear();
  engine.SetLocalVersionFile(dir.File("app.exe"));
  const TDateTime read = engine.ReadLastUpdateDate();
  const auto age = platform::LocalNow() - read;
  EXPECT_GE(age, std::chrono::milliseconds(-1000));
  EXPECT_LT(age, std::chrono::minutes(5));
  EXPECT_FALSE(engine.SaveLastDateFlag());
  EXPECT_FALSE(
      platform::OpenRegistryKey(TRegRoot::CurrentUser, kKey, platform::TRegAccess::Read, false))
      << "no registry access";

  engine.SetLocalVersionFile(dir.File("missing.exe"));
  EXPECT_EQ(engine.ReadLastUpdateDate(), DefaultControlDate());
}

TEST_F(LastUpdateMemoryTest, UnreadableDateKeeps1980AndIgnoresTheTime) {
  Store("LastDate", "2009-03-21");
  Store("LastTime", "10:00:00");
  EXPECT_EQ(engine.ReadLastUpdateDate(), DefaultControlDate());
}

TEST_F(LastUpdateMemoryTest, TheMachineRootKeepsItsOwnAndOtherValuesSurvive) {
  Store("Keep", "me", "Software\\Vendor\\Other", TRegRoot::LocalMachine);
  engine.LastURLEntry.RegRoot = lurLOCALMACHINE;
  engine.WriteLastURL("http://machine/");
  EXPECT_EQ(Stored("LastURL", kKey, TRegRoot::LocalMachine), "http://machine/");
  EXPECT_EQ(Stored("Keep", "Software\\Vendor\\Other", TRegRoot::LocalMachine), "me");
  EXPECT_FALSE(Stored("LastURL"));
}

#ifndef _WIN32  // hive files, their permissions and other users are POSIX's
TEST_F(LastUpdateMemoryTest, AHiveThisUserMayNotWriteGivesNothingAndTakesNothing) {
  const std::string kept =
      "[Software\\Vendor\\App\\Update]\r\nLastURL=http://kept/\r\nLastDate=21.03.2009\r\n";
  const std::string hive = registry.HiveFile("HKEY_CURRENT_USER.ini");
  const std::string hives = hive.substr(0, hive.rfind('/'));
  WriteFile(hive, kept);
  ASSERT_EQ(::chmod(hive.c_str(), 0444), 0);
  // The user may replace files in the folder: only the engine's own refusal
  // keeps the hive as it was.
  ASSERT_EQ(::chmod(hives.c_str(), 0777), 0);
  // As a user the permissions restrict (the superuser passes them all).
  EXPECT_TRUE(RunUnprivileged([this] {
    engine.WriteLastURL("http://nowhere/");
    engine.WriteLastUpdateDate(EncodeDateTime({2011, 1, 1, 0, 0, 0, 0}));
    return engine.ReadLastURL().empty() && engine.ReadLastUpdateDate() == DefaultControlDate();
  })) << "a hive that cannot be written is not read either";
  EXPECT_EQ(ReadFile(hive), kept);
  ::chmod(hives.c_str(), 0700);
}
#endif

}  // namespace
}  // namespace kavrel::test
