// The registry memory of the last update, on hive files in a test folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "IniDocument.h"
#include "RecordingEngine.h"
#include "System.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

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
  LastUpdateMemoryTest() : registryDir("KAVREL_REGISTRY_DIR", hives.Path()) {
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

  TIniDocument Hive(const char* name = "HKEY_CURRENT_USER.ini") {
    return TIniDocument::Parse(ReadFile(hives.File(name)).value_or(""));
  }

  TTempDir hives;
  TScopedEnv registryDir;
  TMemoryEngine engine;
};

TEST_F(LastUpdateMemoryTest, AddressAndDateRoundTripInTheUsersFormats) {
  engine.WriteLastURL("http://updates.example/{APP}/next.ini");
  engine.WriteLastUpdateDate(EncodeDateTime({2009, 3, 21, 14, 2, 37, 0}));
  const TIniDocument hive = Hive();
  EXPECT_EQ(hive.Find("Software\\Vendor\\App\\Update", "LastURL"),
            "http://updates.example/{APP}/next.ini");
  EXPECT_EQ(hive.Find("Software\\Vendor\\App\\Update", "LastDate"), "21.03.2009");
  EXPECT_EQ(hive.Find("Software\\Vendor\\App\\Update", "LastTime"), "14:02:37");
  EXPECT_EQ(engine.ReadLastURL(), "http://updates.example/{APP}/next.ini");
  EXPECT_EQ(engine.ReadLastUpdateDate(), EncodeDateTime({2009, 3, 21, 14, 2, 37, 0}));
  EXPECT_TRUE(engine.SaveLastDateFlag());
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
  EXPECT_EQ(Hive().SectionNames().size(), 2u) << "one section per key, however often written";
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
  EXPECT_EQ(Hive().Find("Software\\Vendor\\App\\Update", "LastURL"), "http://first/");
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
  EXPECT_FALSE(ReadFile(hives.File("HKEY_CURRENT_USER.ini"))) << "no registry access";

  engine.SetLocalVersionFile(dir.File("missing.exe"));
  EXPECT_EQ(engine.ReadLastUpdateDate(), DefaultControlDate());
}

TEST_F(LastUpdateMemoryTest, UnreadableDateKeeps1980AndIgnoresTheTime) {
  WriteFile(hives.File("HKEY_CURRENT_USER.ini"),
            "[Software\\Vendor\\App\\Update]\r\nLastDate=2009-03-21\r\nLastTime=10:00:00\r\n");
  EXPECT_EQ(engine.ReadLastUpdateDate(), DefaultControlDate());
}

TEST_F(LastUpdateMemoryTest, MachineHiveGoesToItsOwnFileAndOtherValuesSurvive) {
  WriteFile(hives.File("HKEY_LOCAL_MACHINE.ini"), "[Software\\Other]\r\nKeep=me\r\n");
  engine.LastURLEntry.RegRoot = lurLOCALMACHINE;
  engine.WriteLastURL("http://machine/");
  const TIniDocument hive = Hive("HKEY_LOCAL_MACHINE.ini");
  EXPECT_EQ(hive.Find("Software\\Vendor\\App\\Update", "LastURL"), "http://machine/");
  EXPECT_EQ(hive.Find("Software\\Other", "Keep"), "me");
  EXPECT_FALSE(ReadFile(hives.File("HKEY_CURRENT_USER.ini")));
}

TEST_F(LastUpdateMemoryTest, AHiveThisUserMayNotWriteGivesNothingAndTakesNothing) {
  const std::string kept =
      "[Software\\Vendor\\App\\Update]\r\nLastURL=http://kept/\r\nLastDate=21.03.2009\r\n";
  const std::string hive = hives.File("HKEY_CURRENT_USER.ini");
  WriteFile(hive, kept);
  ASSERT_EQ(::chmod(hive.c_str(), 0444), 0);
  // The user may replace files in the folder: only the engine's own refusal
  // keeps the hive as it was.
  ASSERT_EQ(::chmod(hives.Path().c_str(), 0777), 0);
  // As a user the permissions restrict (the superuser passes them all).
  EXPECT_TRUE(RunUnprivileged([this] {
    engine.WriteLastURL("http://nowhere/");
    engine.WriteLastUpdateDate(EncodeDateTime({2011, 1, 1, 0, 0, 0, 0}));
    return engine.ReadLastURL().empty() && engine.ReadLastUpdateDate() == DefaultControlDate();
  })) << "a hive that cannot be written is not read either";
  EXPECT_EQ(ReadFile(hive), kept);
  ::chmod(hives.Path().c_str(), 0700);
}

}  // namespace
}  // namespace kavrel::test
