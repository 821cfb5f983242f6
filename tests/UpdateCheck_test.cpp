// Fetching the control file and deciding whether an update applies, against a
// real HTTP server.
#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <regex>
#ifdef _WIN32
#include <windows.h>

#include "WideText.h"
#endif

#include "RecordingEngine.h"
#include "Registry.h"
#include "System.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "UpdateLog.h"

namespace kavrel::test {
namespace {

class TCheckEngine : public TRecordingEngine {
 public:
  bool AppUpdateFlag() const { return AppUpdate; }
  const std::string& AppNameText() const { return AppName; }
  const std::string& AppParamsText() const { return AppParams; }
  const std::string& AppCompsText() const { return AppComps; }
  bool SilentRestartFlag() const { return SilentRestart; }
  const std::string& ControlFilePath() const { return ControlFileName; }
  const std::string& Description() const { return UpdateDescription; }
  TDateTime ControlDate() const { return ControlDateTime; }
  using TKavrel::ReadLastUpdateDate;
  using TKavrel::WriteLastUpdateDate;
};

class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateCheckTest() : server(www.Path()), registry("Software\\Vendor"), tmp(temp.Path()) {
    TFormatSettings user;
    user.ShortDateFormat = "mm/dd/yyyy";
    user.DateSeparator = '-';
    platform::OverrideUserFormatSettings(user);
  }
  ~UpdateCheckTest() override { platform::OverrideUserFormatSettings(std::nullopt); }

  void SetUp() override { engine.URL = server.Url("update.ini"); }

  // Publishes a control file, fetches it and evaluates its conditions.
  int Check(const std::string& control) {
    WriteFile(www.File("update.ini"), control);
    EXPECT_EQ(engine.OpenConnection(), 0);
    const int section = engine.CheckUpdateSection();
    EXPECT_EQ(section, 0);
    const int result = engine.CheckUpdateConditions();
    engine.CloseConnection();
    return result;
  }

  void Remember(const std::string& date, const std::string& time) {
    auto key =
        platform::OpenRegistryKey(platform::TRegRoot::CurrentUser, "Software\\Vendor\\App\\Update",
                                  platform::TRegAccess::Full, true);
    ASSERT_TRUE(key);
    key->WriteString("LastDate", date);
    key->WriteString("LastTime", time);
    engine.LastURLEntry.Key = "Software\\Vendor\\App";
    engine.LastURLEntry.Section = "Update";
  }

  TTempDir www, temp, local;
  THttpTestServer server;
  TScopedRegistry registry;
  TScopedTempFolder tmp;
  TScopedScriptedUi ui;
  TCheckEngine engine;
};

TEST_F(UpdateCheckTest, MissingControlFileIsReportedAndChangesNothing) {
  engine.URL = server.Url("missing.ini");
  ASSERT_EQ(engine.OpenConnection(), 0);
  EXPECT_EQ(engine.CheckUpdateSection(), 4);
  const TStatusRecord* report = engine.Find(925);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->StatusCode, 2);
  EXPECT_EQ(engine.ControlFilePath(), "");
  engine.CloseConnection();
}

TEST_F(UpdateCheckTest, ControlFileLandsInTheTemporaryFolderAndIsDeletedOnClose) {
  engine.UseWinTempDir = false;
  engine.TempDirectory = local.Path();  // the control file ignores the download folder
  WriteFile(www.File("update.ini"), "[update]\r\n");
  ASSERT_EQ(engine.OpenConnection(), 0);
  ASSERT_EQ(engine.CheckUpdateSection(), 0);
  EXPECT_EQ(engine.ControlFilePath(), temp.File("update.ini"));
  EXPECT_TRUE(ReadFile(temp.File("update.ini")));
  engine.CloseConnection();
  EXPECT_FALSE(ReadFile(temp.File("update.ini")));
}

TEST_F(UpdateCheckTest, SignatureDifferingInCaseFailsButApplicationValuesAreTaken) {
  engine.SignatureCheck = true;
  WriteFile(www.File("update.ini"),
            "[update]\r\nsignature=kavrel\r\n[application]\r\nappupdate=1\r\nappname=app.exe\r\n"
            "appcomps=app.exe_NEW;lib.dll_NEW\r\nsilentrestart=1\r\n");
  ASSERT_EQ(engine.OpenConnection(), 0);
  EXPECT_EQ(engine.CheckUpdateSection(), 5);
  const TStatusRecord* report = engine.Find(927);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->StatusCode, 11);
  EXPECT_EQ(report->ErrCode, 4);
  EXPECT_TRUE(engine.AppUpdateFlag());
  EXPECT_EQ(engine.AppNameText(), "app.exe");
  EXPECT_EQ(engine.AppParamsText(), " ");
  EXPECT_EQ(engine.AppCompsText(), "app.exe_NEW;lib.dll_NEW");
  EXPECT_TRUE(engine.SilentRestartFlag());
  engine.CloseConnection();
}

TEST_F(UpdateCheckTest, ApplicationUpdateNeedsANameAndParametersCanBeChanged) {
  engine.OnSetAppParams = [](TKavrel&, std::string& params) { params += " --updated"; };
  WriteFile(www.File("update.ini"), "[application]\r\nappupdate=1\r\nappname=\r\nappparam=-x\r\n");
  ASSERT_EQ(engine.OpenConnection(), 0);
  EXPECT_EQ(engine.CheckUpdateSection(), 0);
  EXPECT_FALSE(engine.AppUpdateFlag());
  EXPECT_EQ(engine.AppParamsText(), "-x --updated");
  engine.CloseConnection();
}

TEST_F(UpdateCheckTest, DateBasedUpdatesCompareWithTheRememberedDate) {
  Remember("03-21-2009", "14:02:37");
  EXPECT_EQ(Check("[update]\r\ndate=21/03/2009\r\ntime=14:02:37\r\n"), 7);
  // Milliseconds are not remembered, so they do not count.
  EXPECT_EQ(Check("[update]\r\ndate=21/03/2009\r\ntime=14:02:37.500\r\n"), 7);
  EXPECT_NE(engine.Find(930), nullptr);
  EXPECT_EQ(engine.Find(930)->StatusCode, 4);

  engine.statuses.clear();
  EXPECT_EQ(Check("[update]\r\ndate=21/03/2009\r\ntime=14:02:38\r\ndescr=Spring\r\n"), 6);
  EXPECT_EQ(engine.Idents(), (std::vector<int>{918, 921, 915, 926, 928, 929, 949, 949}));
  EXPECT_EQ(engine.Find(929)->Arg, "03-21-2009") << "written in the user's short date format";
  EXPECT_EQ(engine.Find(929)->StatusCode, 5);
  EXPECT_EQ(engine.Description(), "Spring");
}

TEST_F(UpdateCheckTest, EngineDateSettingsReadTheControlFileOnly) {
  engine.DateFormat = "yyyy.mm.dd";
  engine.DateSeparator = '.';
  Remember("03-21-2009", "");
  const std::string before = RegionalSettings();
  EXPECT_EQ(Check("[update]\r\ndate=2009.03.22\r\n"), 6);
  EXPECT_EQ(engine.ControlDate(), EncodeDateTime({2009, 3, 22, 0, 0, 0, 0}));
  EXPECT_EQ(RegionalSettings(), before);
}

#ifdef _WIN32
// The user's short date for the scope, from the regional settings, with the
// separator its log time stamps show, as a pattern.
constexpr std::pair<const char*, const char*> kUserDates[] = {
    {"dd/MM/yyyy", "/"}, {"yyyy-MM-dd", "-"}, {"d. MMMM yyyy", "\\."}};
class TUserShortDate {
 public:
  explicit TUserShortDate(const char* picture) {
    wchar_t old[128] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, old, 128);
    saved_ = old;
    ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE,
                     platform::win32::Wide(picture).c_str());
  }
  ~TUserShortDate() { ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, saved_.c_str()); }
  static bool Available(const char*) { return true; }
  // 21 March 2009 as the user's short date.
  static std::string Written() {
    SYSTEMTIME day{};
    day.wYear = 2009, day.wMonth = 3, day.wDay = 21;
    wchar_t out[64] = {};
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &day, nullptr, out, 64);
    return platform::win32::Utf8(out);
  }

 private:
  std::wstring saved_;
};
#else
// The user's short date for the scope, from the locale, with the separator
// its log time stamps show, as a pattern.
constexpr std::pair<const char*, const char*> kUserDates[] = {
    {"C", "/"}, {"ja_JP.UTF-8", "/"}, {"lv_LV.UTF-8", "\\."}};
class TUserShortDate {
 public:
  explicit TUserShortDate(const char* locale) : locale_(locale), lang_("LC_ALL", locale) {}
  static bool Available(const char* locale) {
    const locale_t loc = ::newlocale(LC_TIME_MASK, locale, nullptr);
    if (loc != nullptr) ::freelocale(loc);
    return loc != nullptr;
  }
  // 21 March 2009 as the user's short date.
  std::string Written() const {
    const locale_t loc = ::newlocale(LC_TIME_MASK, locale_, nullptr);
    std::tm day{};
    day.tm_year = 2009 - 1900, day.tm_mon = 2, day.tm_mday = 21;
    char written[64] = {};
    ::strftime_l(written, sizeof written, "%x", &day, loc);
    ::freelocale(loc);
    return written;
  }

 private:
  const char* locale_;
  TScopedEnv lang_;
};
#endif

// Report 929 and its log line show the date as the user writes it (the log's
// time stamp with the user's separator); only the remembered date falls back
// to a form that reads back.
TEST_F(UpdateCheckTest, TheUsersOwnShortDateShowsAndTheMemoryStillReadsBack) {
  for (const auto& [name, separator] : kUserDates)
    if (!TUserShortDate::Available(name))
      GTEST_SKIP() << "locale " << name << " is not installed (scripts/setup.sh generates it)";
  platform::OverrideUserFormatSettings(std::nullopt);
  const std::string processLocale = std::setlocale(LC_ALL, nullptr);
  struct TRestoreLog {
    std::string name = CurrentLogName();
    ~TRestoreLog() { SetCurrentLogName(name); }
  } restoreLog;
  engine.Logging = true;
  engine.SetLogFileName(local.File("update.log"));
  for (const auto& [name, separator] : kUserDates) {
    SCOPED_TRACE(name);
    const TUserShortDate user(name);
    const std::string written = user.Written();
    ASSERT_FALSE(written.empty());

    engine.statuses.clear();
    std::remove(local.File("update.log").c_str());
    ASSERT_EQ(Check("[update]\r\ndate=21/03/2009\r\n"), 6);
    ASSERT_NE(engine.Find(929), nullptr);
    EXPECT_EQ(engine.Find(929)->Arg, written);
    std::string line;
    for (const std::string& l : FileLines(local.File("update.log")))
      if (l.find("[929]") != std::string::npos) line = l;
    EXPECT_NE(line.find("[929] New version found : " + written + " (Status:5)"), std::string::npos)
        << line;
    const std::string sep = separator;
    EXPECT_TRUE(std::regex_search(line, std::regex("^\\d\\d" + sep + "\\d\\d" + sep + "\\d{4} ")))
        << line;

    engine.LastURLEntry.Key = "Software\\Vendor\\App";
    engine.LastURLEntry.Section = name;
    engine.LastURLEntry.Save = true;
    const TDateTime when = EncodeDateTime({1980, 3, 21, 14, 2, 37, 0});
    engine.WriteLastUpdateDate(when);
    EXPECT_EQ(engine.ReadLastUpdateDate(), when);
    engine.LastURLEntry = {};
  }
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), processLocale);
}

TEST_F(UpdateCheckTest, UnconditionalAppliesWhenNoDateFoundAnUpdate) {
  Remember("03-21-2009", "");
  EXPECT_EQ(Check("[update]\r\ndate=01/01/2009\r\nunconditional=0\r\n"), 8);
  EXPECT_EQ(Check("[update]\r\nunconditional=yes\r\nnewversion=9.9\r\nlocalversion=x\r\n"), 8);
  EXPECT_EQ(Check("[update]\r\nunconditional=\r\n"), 7);
}

TEST_F(UpdateCheckTest, UnreadableDateWithoutMemoryOrReferenceIsNoUpdate) {
  EXPECT_EQ(Check("[update]\r\ndate=2009-12-31\r\nlocalversion=" + local.File("none.exe") + "\r\n"),
            7);
}

TEST_F(UpdateCheckTest, ComparisonNeedsALocalFile) {
  EXPECT_EQ(Check("[update]\r\nnewversion=1.2\r\n"), 7);
  EXPECT_EQ(engine.Find(933), nullptr);
  EXPECT_EQ(engine.Find(930), nullptr);
}

TEST_F(UpdateCheckTest, SizeChecksumAndVersionUpdatesByPrecedence) {
  WriteFile(local.File("app.dat"), "abc");
  const std::string file = "localversion=" + local.File("app.dat") + "\r\n";
  EXPECT_EQ(Check("[update]\r\n" + file + "newsize=4\r\n"), 9);
  EXPECT_NE(engine.Find(932), nullptr);
  EXPECT_EQ(Check("[update]\r\n" + file + "newsize=3\r\n"), 7);
  // The checksum wins over the size; 293 is the byte sum of "abc".
  EXPECT_EQ(Check("[update]\r\n" + file + "newsize=3\r\nnewchecksum=294\r\n"), 10);
  EXPECT_EQ(Check("[update]\r\n" + file + "newsize=4\r\nnewchecksum=293\r\n"), 7);
  // A file without version information is never updated by version here.
  engine.statuses.clear();
  EXPECT_EQ(Check("[update]\r\n" + file + "newversion=1.2\r\n"), 7);
  EXPECT_NE(engine.Find(933), nullptr);
  engine.VersionCheck = vcAlways;
  EXPECT_EQ(Check("[update]\r\n" + file + "newversion=1.2\r\n"), 11);
}

TEST_F(UpdateCheckTest, CustomValidationDecidesAndTurnsFoundUpdatesInto12) {
  std::vector<std::string> seen;
  engine.OnCustomValidate = [&](TKavrel&, const std::string& msg, const std::string& param,
                                bool& allow) {
    seen = {msg, param, allow ? "1" : "0"};
  };
  const std::string custom = "[custom]\r\nvalidatemsg=check\r\nvalidateparam=licence\r\n";
  EXPECT_EQ(Check("[update]\r\nunconditional=1\r\n" + custom), 12);
  EXPECT_EQ(seen, (std::vector<std::string>{"check", "licence", "1"}));
  EXPECT_EQ(Check("[update]\r\n" + custom), 7);
  EXPECT_EQ(seen.back(), "0");
  engine.OnCustomValidate = [](TKavrel&, const std::string&, const std::string&, bool& allow) {
    allow = true;
  };
  EXPECT_EQ(Check("[update]\r\n"), 12);
}

}  // namespace
}  // namespace kavrel::test
