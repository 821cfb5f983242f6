#include "PropertyTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <new>

#include "Kavrel.h"
#include "UpdateLog.h"

namespace kavrel {
namespace {

// A value other than the default for every property the table publishes.
const std::map<std::string, std::string>& Samples() {
  static const std::map<std::string, std::string> samples = {
      {"Agent", "MyAgent/1.0"},
      {"ApplyPatch", "True"},
      {"Authenticate", "kaAuto"},
      {"DateFormat", "mm/dd/yyyy"},
      {"DefaultHealthCheck", "30"},
      {"DateSeparator", "-"},
      {"ExtractCAB", "True"},
      {"ExistingConnection", "True"},
      {"ForceUpdate", "True"},
      {"FTPDirectory", "/pub/updates"},
      {"FTPPassive", "True"},
      {"Host", "ftp.example.org"},
      {"HTTPKeepAliveAuthentication", "True"},
      {"KeepIntermediateFiles", "True"},
      {"LanguageID", "FR"},
      {"Logging", "True"},
      {"LogFileName", "logs\\other.log"},
      {"LastURLEntry.Save", "True"},
      {"LastURLEntry.Key", "Software\\Vendor\\App"},
      {"LastURLEntry.Section", "Update"},
      {"LastURLEntry.RegRoot", "lurLOCALMACHINE"},
      {"Password", "secret"},
      {"Port", "8021"},
      {"ProductID", "Demo.App"},
      {"PostUpdateInfo.Server", "report.example.org"},
      {"PostUpdateInfo.Action", "/cgi-bin/report"},
      {"PostUpdateInfo.Data", "id=42"},
      {"PostUpdateInfo.Enabled", "True"},
      {"Proxy", "proxy:8080"},
      {"ProxyUserID", "proxyuser"},
      {"ProxyPassword", "proxypass"},
      {"PublicKey", "RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3"},
      {"Signature", "Other"},
      {"SignatureCheck", "True"},
      {"TempDirectory", "/var/tmp"},
      {"TimeFormat", "hh:nn:ss"},
      {"TimeOut", "-30000"},
      {"TimeSeparator", "."},
      {"UpdateType", "fileUpdate"},
      {"UpdateConnect", "kvcConnectSilentHangup"},
      {"UpdateUpdate", "kvuSilent"},
      {"URL", "http://127.0.0.1/update.ini"},
      {"UserID", "user"},
      {"UseCRC32", "True"},
      {"UseWinTempDir", "False"},
      {"VersionCheck", "vcAlways"},
      {"Version", "9.9.9.9"},
  };
  return samples;
}

std::map<std::string, std::string> Snapshot(const TKavrel& engine) {
  std::map<std::string, std::string> values;
  for (const std::string& name : PublishedPropertyNames())
    values[name] = GetPropertyAsText(engine, name).value_or("<unknown>");
  return values;
}

// Keeps the process-wide log name as the test found it.
class PropertyTable : public testing::Test {
 protected:
  void TearDown() override { SetCurrentLogName(savedName_); }
  std::string savedName_ = CurrentLogName();
};

TEST_F(PropertyTable, EveryPropertyIsPublishedOnceAndHasASample) {
  const auto names = PublishedPropertyNames();
  EXPECT_EQ(names.size(), Samples().size());
  std::map<std::string, int> seen;
  for (const std::string& name : names) {
    EXPECT_EQ(++seen[name], 1) << name;
    EXPECT_TRUE(Samples().contains(name)) << "no sample for " << name;
  }
  for (const auto& [name, value] : Samples()) EXPECT_TRUE(seen.contains(name)) << name;
}

// Setting one property changes that property and no other.
TEST_F(PropertyTable, EachPropertySetsItsOwnValue) {
  for (const std::string& name : PublishedPropertyNames()) {
    TKavrel engine;
    const auto before = Snapshot(engine);
    const std::string& sample = Samples().at(name);
    ASSERT_NE(before.at(name), sample) << name << " sample equals its default";
    EXPECT_EQ(SetPropertyFromText(engine, name, sample), std::nullopt) << name;
    auto after = Snapshot(engine);
    if (name == "Version")
      EXPECT_EQ(after.at(name), "2.0.12.0");
    else
      EXPECT_EQ(after.at(name), sample) << name;
    after[name] = before.at(name);
    EXPECT_EQ(after, before) << "setting " << name << " changed another property";
  }
}

TEST_F(PropertyTable, PropertiesReachTheEngineMembers) {
  TKavrel engine;
  for (const auto& [name, value] : Samples())
    ASSERT_EQ(SetPropertyFromText(engine, name, value), std::nullopt) << name;
  EXPECT_EQ(engine.Authenticate, kaAuto);
  EXPECT_EQ(engine.DateSeparator, "-");
  EXPECT_EQ(engine.LastURLEntry.RegRoot, lurLOCALMACHINE);
  EXPECT_EQ(engine.LastURLEntry.Key, "Software\\Vendor\\App");
  EXPECT_EQ(engine.Port, 8021);
  EXPECT_TRUE(engine.PostUpdateInfo.Enabled);
  EXPECT_EQ(engine.PostUpdateInfo.Action, "/cgi-bin/report");
  EXPECT_EQ(engine.ProxyUserID, "proxyuser");
  EXPECT_EQ(engine.ProxyPassword, "proxypass");
  EXPECT_EQ(engine.TimeOut, -30000);
  EXPECT_EQ(engine.TimeSeparator, ".");
  EXPECT_EQ(engine.UpdateType, fileUpdate);
  EXPECT_EQ(engine.UpdateConnect, kvcConnectSilentHangup);
  EXPECT_EQ(engine.UpdateUpdate, kvuSilent);
  EXPECT_FALSE(engine.UseWinTempDir);
  EXPECT_EQ(engine.VersionCheck, vcAlways);
  EXPECT_EQ(engine.GetVersion(), "2.0.12.0");
}

TEST_F(PropertyTable, NamesBooleansAndEnumerationsIgnoreCase) {
  TKavrel engine;
  EXPECT_EQ(SetPropertyFromText(engine, "logging", "true"), std::nullopt);
  EXPECT_TRUE(engine.Logging);
  EXPECT_EQ(SetPropertyFromText(engine, "LOGGING", "fAlSe"), std::nullopt);
  EXPECT_FALSE(engine.Logging);
  EXPECT_EQ(SetPropertyFromText(engine, "updatetype", "FTPUPDATE"), std::nullopt);
  EXPECT_EQ(engine.UpdateType, ftpUpdate);
  EXPECT_EQ(SetPropertyFromText(engine, "postupdateinfo.enabled", "TRUE"), std::nullopt);
  EXPECT_TRUE(engine.PostUpdateInfo.Enabled);
  EXPECT_EQ(GetPropertyAsText(engine, "UPDATETYPE"), "ftpUpdate");
  EXPECT_EQ(GetPropertyAsText(engine, "logging"), "False");
  EXPECT_EQ(GetPropertyAsText(engine, "NoSuchProperty"), std::nullopt);
}

// A separator is one character of any script, however many bytes UTF-8 gives
// it; a longer text, an empty one or a broken sequence is refused.
TEST_F(PropertyTable, SeparatorsTakeOneCharacterOfAnyScript) {
  const std::pair<const char*, bool> cases[] = {
      {".", true}, {"\u00B7", true}, {"\u5E74", true},        {"\U0001F552", true}, {"ab", false},
      {"", false}, {". ", false},    {"\u00B7\u00B7", false}, {"\xC2", false},      {"\xB7", false},
  };
  for (const char* name : {"DateSeparator", "TimeSeparator"}) {
    for (const auto& [value, accepted] : cases) {
      TKavrel engine;
      const std::string before = GetPropertyAsText(engine, name).value();
      const auto refusal = SetPropertyFromText(engine, name, value);
      EXPECT_EQ(!refusal.has_value(), accepted) << name << "=" << value;
      EXPECT_EQ(GetPropertyAsText(engine, name), accepted ? value : before) << name << "=" << value;
      if (refusal) {
        EXPECT_NE(refusal->find("exactly one character"), std::string::npos) << *refusal;
      }
    }
  }
}

TEST_F(PropertyTable, IntegerRange) {
  TKavrel engine;
  EXPECT_EQ(SetPropertyFromText(engine, "Port", "2147483647"), std::nullopt);
  EXPECT_EQ(engine.Port, 2147483647);
  EXPECT_EQ(SetPropertyFromText(engine, "TimeOut", "-2147483648"), std::nullopt);
  EXPECT_EQ(engine.TimeOut, -2147483647 - 1);
  for (const char* spaced : {" 21", "21 ", " 21\t"}) {
    engine.Port = 0;
    EXPECT_EQ(SetPropertyFromText(engine, "Port", spaced), std::nullopt) << spaced;
    EXPECT_EQ(engine.Port, 21) << spaced;
  }
}

// Each refusal names the property (or the name given) and what it accepts,
// and leaves every property as it was.
TEST_F(PropertyTable, RefusalsExplainAndChangeNothing) {
  struct Case {
    const char* name;
    const char* value;
    std::vector<std::string> mentions;
  };
  const Case cases[] = {
      {"NoSuchProperty", "1", {"NoSuchProperty"}},
      {"Logging", "yes", {"Logging", "yes", "True", "False"}},
      {"UseWinTempDir", "1", {"UseWinTempDir", "True", "False"}},
      {"UseWinTempDir", "", {"UseWinTempDir", "True", "False"}},
      {"Authenticate", "kaSometimes", {"Authenticate", "kaAlways", "kaAuto", "kaNever"}},
      {"Authenticate", "1", {"Authenticate", "kaAlways", "kaAuto", "kaNever"}},
      {"UpdateConnect", "kvc", {"UpdateConnect", "kvcNoConnect", "kvcNone"}},
      {"LastURLEntry.RegRoot", "HKLM", {"LastURLEntry.RegRoot", "lurLOCALUSER", "lurLOCALMACHINE"}},
      {"Port", "12x", {"Port", "12x", "whole number"}},
      {"Port", "0x10", {"Port", "whole number"}},
      {"Port", "$10", {"Port", "whole number"}},
      {"Port", "2147483648", {"Port", "out of range", "2147483647"}},
      {"TimeOut", "-2147483649", {"TimeOut", "out of range"}},
      {"TimeOut", "99999999999999999999999", {"TimeOut", "out of range"}},
      {"Port", "", {"Port", "whole number"}},
      {"DateSeparator", "ab", {"DateSeparator", "one character"}},
      {"TimeSeparator", "", {"TimeSeparator", "one character"}},
      {"Utility", "Utility1", {"Utility"}},
  };
  for (const Case& c : cases) {
    TKavrel engine;
    engine.Logging = true;
    engine.UseWinTempDir = false;
    engine.Port = 4321;
    const auto before = Snapshot(engine);
    const auto refusal = SetPropertyFromText(engine, c.name, c.value);
    ASSERT_TRUE(refusal.has_value()) << c.name << "=" << c.value;
    for (const std::string& word : c.mentions)
      EXPECT_NE(refusal->find(word), std::string::npos)
          << c.name << "=" << c.value << ": " << *refusal << " lacks " << word;
    EXPECT_EQ(Snapshot(engine), before) << c.name << "=" << c.value;
    EXPECT_EQ(engine.Port, 4321);
  }
}

TEST_F(PropertyTable, VersionCannotBeChanged) {
  TKavrel engine;
  for (const char* value : {"3.0.0.0", "", "2.0.12.1"}) {
    EXPECT_EQ(SetPropertyFromText(engine, "Version", value), std::nullopt);
    EXPECT_EQ(GetPropertyAsText(engine, "Version"), "2.0.12.0");
  }
  engine.SetVersion("1.0");
  EXPECT_EQ(engine.GetVersion(), "2.0.12.0");
}

TEST_F(PropertyTable, LogFileNameSetsTheProcessWideName) {
  TKavrel engine;
  EXPECT_EQ(SetPropertyFromText(engine, "LogFileName", "C:\\Logs\\update.log"), std::nullopt);
  EXPECT_EQ(engine.LogFileName(), "C:\\Logs\\update.log");
  EXPECT_EQ(CurrentLogName(), "C:\\Logs\\update.log");
  // A second engine's setting wins for the whole process.
  TKavrel other;
  EXPECT_EQ(CurrentLogName(), "KAVREL.LOG");
  EXPECT_EQ(SetPropertyFromText(other, "logfilename", "second.log"), std::nullopt);
  EXPECT_EQ(CurrentLogName(), "second.log");
  EXPECT_EQ(engine.LogFileName(), "C:\\Logs\\update.log");
}

TEST_F(PropertyTable, ConstructorDefaults) {
  SetCurrentLogName("left over from before");
  const TKavrel e;
  EXPECT_EQ(e.Agent, "TKavrel");
  EXPECT_FALSE(e.ApplyPatch);
  EXPECT_EQ(e.Authenticate, kaNever);
  EXPECT_EQ(e.DateFormat, "dd/mm/yyyy");
  EXPECT_EQ(e.DateSeparator, "/");
  EXPECT_FALSE(e.ExtractCAB);
  EXPECT_FALSE(e.ExistingConnection);
  EXPECT_FALSE(e.ForceUpdate);
  EXPECT_EQ(e.FTPDirectory, "");
  EXPECT_FALSE(e.FTPPassive);
  EXPECT_EQ(e.Host, "");
  EXPECT_FALSE(e.HTTPKeepAliveAuthentication);
  EXPECT_FALSE(e.KeepIntermediateFiles);
  EXPECT_EQ(e.LanguageID, "");
  EXPECT_FALSE(e.Logging);
  EXPECT_EQ(e.LogFileName(), "KAVREL.LOG");
  EXPECT_EQ(CurrentLogName(), "KAVREL.LOG");
  EXPECT_FALSE(e.LastURLEntry.Save);
  EXPECT_EQ(e.LastURLEntry.Key, "");
  EXPECT_EQ(e.LastURLEntry.Section, "");
  EXPECT_EQ(e.LastURLEntry.RegRoot, lurLOCALUSER);
  EXPECT_EQ(e.Password, "");
  EXPECT_EQ(e.Port, 21);
  EXPECT_EQ(e.PostUpdateInfo.Server, "");
  EXPECT_EQ(e.PostUpdateInfo.Action, "");
  EXPECT_EQ(e.PostUpdateInfo.Data, "");
  EXPECT_FALSE(e.PostUpdateInfo.Enabled);
  EXPECT_EQ(e.PostUpdateInfo.PostResult, "");
  EXPECT_EQ(e.Proxy, "");
  EXPECT_EQ(e.ProxyUserID, "");
  EXPECT_EQ(e.ProxyPassword, "");
  EXPECT_EQ(e.Signature, "Kavrel");
  EXPECT_FALSE(e.SignatureCheck);
  EXPECT_EQ(e.TempDirectory, ".");
  EXPECT_EQ(e.TimeFormat, "hh:nn");
  EXPECT_EQ(e.TimeOut, 0);
  EXPECT_EQ(e.TimeSeparator, ":");
  EXPECT_EQ(e.UpdateType, httpUpdate);
  EXPECT_EQ(e.UpdateConnect, kvcNoConnect);
  EXPECT_EQ(e.UpdateUpdate, kvuPromptOnce);
  EXPECT_EQ(e.URL, "");
  EXPECT_EQ(e.UserID, "");
  EXPECT_FALSE(e.UseCRC32);
  EXPECT_TRUE(e.UseWinTempDir);
  EXPECT_EQ(e.Utility(), nullptr);
  EXPECT_EQ(e.VersionCheck, vcUpdateOnly);
  EXPECT_EQ(e.GetVersion(), "2.0.12.0");
  EXPECT_EQ(e.FileList.Count(), 0u);
  EXPECT_FALSE(e.Running());
  EXPECT_FALSE(e.OnStatus || e.OnFileProgress || e.OnGetFileList || e.OnConvertPrefix ||
               e.OnSuccess || e.OnAppDoClose);
}

TEST_F(PropertyTable, UtilityReferenceIsDroppedWhenTheUtilityGoes) {
  TKavrel engine;
  auto utility = std::make_unique<TKavrelUtility>();
  engine.SetUtility(utility.get());
  EXPECT_EQ(engine.Utility(), utility.get());
  utility.reset();
  EXPECT_EQ(engine.Utility(), nullptr);

  // An engine that goes first leaves the utility with nobody to tell: when the
  // utility goes later, the memory the engine had (since taken by other data)
  // is neither called into nor written.
  EXPECT_EXIT(
      {
        auto kept = std::make_unique<TKavrelUtility>();
        alignas(TKavrel) unsigned char place[sizeof(TKavrel)];
        auto* shortLived = new (place) TKavrel;
        shortLived->SetUtility(kept.get());
        shortLived->~TKavrel();
        std::memset(place, 0xA5, sizeof place);
        kept.reset();
        std::exit(std::all_of(std::begin(place), std::end(place),
                              [](unsigned char b) { return b == 0xA5; })
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kavrel
