// The control file's instructions, the what's-new and licence texts, and the
// post-update report, each against real files, programs and servers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>

#include "WideText.h"
#endif

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "RecordingEngine.h"
#include "TestServers.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

class TStepEngine : public TRecordingEngine {
 public:
  void UseControlFile(const std::string& path) { ControlFileName = path; }
  bool& AppUpdateFlag() { return AppUpdate; }
  using TKavrel::SendPostUpdateInfo;
};

class InstructionsTest : public ::testing::Test {
 protected:
#ifdef _WIN32
  // Windows takes its temporary folder from TMP.
  InstructionsTest() : tmp("TMP", temp.Path()) {}
#else
  InstructionsTest() : tmp("TMPDIR", temp.Path()) {}
#endif
  void Publish(const std::string& text) {
    WriteFile(dir.File("update.ini"), text);
    engine.UseControlFile(dir.File("update.ini"));
  }
  // A program that writes its arguments into a file.
  std::string Recorder(const std::string& name) {
#ifdef _WIN32
    // Windows runs no shell script: a copy of the argument recorder.
    return CopyRecorder(dir.File(name + ".exe"));
#else
    const std::string path = dir.File(name);
    WriteScript(path, "echo \"$@\" > \"" + dir.File(name + ".out") + "\"");
    return path;
#endif
  }
  // The file the recorder of that name writes.
  std::string RecordOf(const std::string& name) const {
#ifdef _WIN32
    return dir.File(name + ".exe.out");
#else
    return dir.File(name + ".out");
#endif
  }
  // The arguments it was given, separated by blanks and ended by a line end
  // (as the script's echo writes them), once they come.
  std::string Recorded(const std::string& name) const {
    std::string record = WaitForFile(RecordOf(name)).value_or("");
#ifdef _WIN32
    // The recorder writes one argument a line.
    for (std::size_t i = 0; i + 1 < record.size(); ++i)
      if (record[i] == '\n') record[i] = ' ';
#endif
    return record;
  }
  // The browser, which does not exist here, replaced by a recorder: on Linux
  // the desktop's opener "xdg-open" found along the search path.
  void RecordOpenedAddresses() {
#ifdef _WIN32
    // Windows has the system's browser, looked for in the current folder
    // before the system's; it is given the address after "-new".
    Recorder(kOpener);
    here.emplace(dir.Path());
#else
    Recorder(kOpener);
    searchPath.emplace("PATH", dir.Path() + ":" + GetEnvironmentOr("PATH", "/usr/bin:/bin"));
#endif
  }
  // The address the browser was given, once it comes.
  std::string Opened() const {
    std::string record = Recorded(kOpener);
#ifdef _WIN32
    if (record.rfind("-new ", 0) != 0) return "(without -new) " + record;
    record.erase(0, 5);
#endif
    return record;
  }

#ifdef _WIN32
  static constexpr const char* kOpener = "iexplore";
#else
  static constexpr const char* kOpener = "xdg-open";
#endif
  TTempDir dir, temp;
  TScopedEnv tmp;
  TStepEngine engine;
#ifdef _WIN32
  std::optional<TScopedCurrentDir> here;
#else
  std::optional<TScopedEnv> searchPath;
#endif
};

TEST_F(InstructionsTest, InstructionsRunInTheirOrderAndARefusedQueryStillLetsTheRestRun) {
  RecordOpenedAddresses();
  const std::string before = Recorder("before.sh");
  Publish("[action]\r\nmsg=First line\\nSecond line\r\nhtmldlg={TMP}\\page.html\r\nrunbefore=" +
          before + " one two\r\nshowURL=http://example.invalid/news\r\nquery=Go on?\r\n");
  std::vector<std::string> processed;
  engine.OnCustomProcess = [&](TKavrel&, const std::string& msg, const std::string& param) {
    processed = {msg, param};
  };
  engine.AppUpdateFlag() = true;
  TScopedScriptedUi ui({"no"});
  EXPECT_EQ(engine.RunInstructions(), -1);
  EXPECT_FALSE(engine.AppUpdateFlag());
  EXPECT_EQ(engine.Idents(), (std::vector<int>{934, 935, 942, 936}));
  EXPECT_EQ(engine.Find(935)->StatusCode, 7);
  EXPECT_EQ(processed, (std::vector<std::string>{"", ""})) << "called even without its keys";
  EXPECT_EQ(ui.Shown(), "[box] First line\n  Second line\n[html] " + temp.Path() +
                            "\\page.html\n[question] Go on?\n");
  EXPECT_EQ(Recorded("before.sh"), "one two\n");
  EXPECT_EQ(Opened(), "http://example.invalid/news\n");
}

TEST_F(InstructionsTest, AnsweredYesOrNothingToDoGoesOnUnlessCancelled) {
  Publish("[action]\r\nquery=Go on?\r\n");
  {
    TScopedScriptedUi ui({"yes"});
    engine.AppUpdateFlag() = true;
    EXPECT_EQ(engine.RunInstructions(), 0);
    EXPECT_TRUE(engine.AppUpdateFlag());
  }
  Publish("[update]\r\n");
  EXPECT_EQ(engine.RunInstructions(), 0);
  EXPECT_TRUE(engine.statuses.size() == 1u);  // only the question of the first call
  engine.CancelledFlag() = true;
  EXPECT_EQ(engine.RunInstructions(), -1);
}

TEST_F(InstructionsTest, AnAddressWithAnySchemeIsOpened) {
  RecordOpenedAddresses();
  for (const std::string address : {"mailto:support@example.invalid", "news:comp.lang.c++"}) {
    std::remove(RecordOf(kOpener).c_str());
    Publish("[action]\r\nshowURL=" + address + "\r\n");
    EXPECT_EQ(engine.RunInstructions(), 0);
    EXPECT_EQ(Opened(), address + "\n");
  }
}

TEST_F(InstructionsTest, TheShownAddressNeverCarriesCredentials) {
  // Another program's command line is every local user's to read.
  RecordOpenedAddresses();
  engine.ProxyUserID = "me";
  engine.ProxyPassword = "p@ss";
  for (const char* address : {"http://example.invalid/", "https://u:pw@example.invalid/a?b=c@d"}) {
    std::remove(RecordOf(kOpener).c_str());
    Publish(std::string("[action]\r\nshowURL=") + address + "\r\n");
    EXPECT_EQ(engine.RunInstructions(), 0);
    EXPECT_EQ(Opened(), address == std::string("http://example.invalid/")
                            ? "http://example.invalid/\n"
                            : "https://example.invalid/a?b=c@d\n");
  }
}

class TextsTest : public InstructionsTest {
 protected:
  TextsTest() : server(www.Path()) {}
  void SetUp() override {
    WriteFile(www.File("news.txt"), "\xEF\xBB\xBFNew in 2.0\r\nFaster downloads\r\n");
    WriteFile(www.File("news-de.txt"), "Neu in 2.0\n");
    WriteFile(www.File("eula.txt"), "Terms\n");
    ASSERT_EQ(engine.OpenConnection(), 0);
  }
  void TearDown() override { engine.CloseConnection(); }
  std::string Sections() {
    return "[whatsnew]\r\nfile=" + server.Url("news.txt") +
           "\r\ncaption=What is new\r\nokbtn=Install\r\n[whatsnewDE]\r\nfile=" +
           server.Url("news-de.txt") + "\r\n[eula]\r\nfile=" + server.Url("eula.txt") +
           "\r\ncaption=Licence\r\n";
  }

  TTempDir www;
  THttpTestServer server;
};

TEST_F(TextsTest, WhatsNewIsFetchedShownAndItsRefusalReported) {
  Publish(Sections());
  std::vector<std::string> before;
  engine.OnBeforeFileDownload = [&](TKavrel&, int index, const std::string& descr,
                                    std::string& url) {
    before.push_back(std::to_string(index) + " " + descr);
    (void)url;
  };
  auto news = engine.GetWhatsNew();
  ASSERT_TRUE(news);
  EXPECT_EQ(*news, (TStrings{"New in 2.0", "Faster downloads"}));
  EXPECT_EQ(before, std::vector<std::string>{"0 " + server.Url("news.txt")});
  EXPECT_EQ(engine.Find(937)->StatusCode, 12);
  EXPECT_FALSE(ReadFile(temp.File("news.txt"))) << "the fetched text is deleted";
  {
    TScopedScriptedUi ui({"ok"});
    EXPECT_EQ(engine.ShowWhatsNew(*news), 0);
    EXPECT_NE(ui.Shown().find("[whatsnew] What is new\n  New in 2.0\n"), std::string::npos);
  }
  {
    TScopedScriptedUi ui({"cancel"});
    EXPECT_EQ(engine.ShowWhatsNew(*news), -1);
    EXPECT_EQ(engine.Find(938)->StatusCode, 14);
  }
  auto licence = engine.GetLicense();
  ASSERT_TRUE(licence);
  EXPECT_EQ(before.size(), 1u) << "no download event for the licence";
  EXPECT_EQ(engine.Find(939)->StatusCode, 13);
}

TEST_F(TextsTest, LanguageSectionsNameTheTextButNotTheCaptions) {
  Publish(Sections());
  engine.LanguageID = "DE";
  auto news = engine.GetWhatsNew();
  ASSERT_TRUE(news);
  EXPECT_EQ(*news, TStrings{"Neu in 2.0"});
  TScopedScriptedUi ui({"ok"});
  engine.ShowWhatsNew(*news);
  EXPECT_NE(ui.Shown().find("[whatsnew] What is new"), std::string::npos);
  EXPECT_FALSE(engine.GetLicense()) << "no eulaDE section";
}

TEST_F(TextsTest, ControlFileTextsInAnEightBitCodePageReachTheDialogAsUtf8) {
  // Written on Windows: Latin-1, no byte order mark.
  Publish("[whatsnew]\r\nfile=" + server.Url("news.txt") +
          "\r\ncaption=Neuigkeiten - \xC4nderungen\r\nokbtn=\xDC"
          "bernehmen\r\n");
  TScopedScriptedUi ui({"ok"});
  TStrings news{"x"};
  engine.ShowWhatsNew(news);
  EXPECT_NE(ui.Shown().find("[whatsnew] Neuigkeiten - \xC3\x84nderungen"), std::string::npos)
      << ui.Shown();
}

TEST_F(TextsTest, LicenceIsAcceptedOnlyByItsAcceptChoice) {
  Publish(Sections());
  TStrings terms{"Terms"};
  for (const auto& [answer, result] :
       std::vector<std::pair<std::string, int>>{{"accept", 0}, {"ok", -1}, {"yes", -1}}) {
    TScopedScriptedUi ui({answer});
    EXPECT_EQ(engine.ShowLicense(terms), result) << answer;
  }
  EXPECT_EQ(engine.Find(940), nullptr) << "a licence refusal is not reported";
}

TEST_F(TextsTest, HostHandlersDecideWithoutADialog) {
  Publish(Sections());
  TStrings lines{"x"};
  TScopedScriptedUi ui;
  engine.OnDownloadedWhatsNew = [](TKavrel&, TStrings&, int&) {};
  EXPECT_EQ(engine.ShowWhatsNew(lines), 0);
  engine.OnDownloadedEULA = [](TKavrel&, TStrings&, int& res) { res = 0; };
  EXPECT_EQ(engine.ShowLicense(lines), -1);
  engine.OnDownloadedEULA = [](TKavrel&, TStrings&, int& res) { res = 2; };
  EXPECT_EQ(engine.ShowLicense(lines), -1);
  EXPECT_EQ(ui.Shown(), "");
  EXPECT_EQ(engine.Find(938), nullptr);
}

TEST_F(TextsTest, MissingOrUnfetchableTextsGiveNothing) {
  Publish("[eula]\r\ncaption=Licence\r\n[whatsnew]\r\nfile=" + server.Url("gone.txt") + "\r\n");
  EXPECT_FALSE(engine.GetLicense());
  EXPECT_FALSE(engine.GetWhatsNew());
  EXPECT_NE(engine.Find(916), nullptr);
}

class PostReportTest : public TextsTest {};

TEST_F(PostReportTest, TheFormIsPostedAsItIsAndALongReplyIsCollected) {
  const std::string data = "result=ok&app=tool&pad=" + std::string(10000, 'z');
  engine.PostUpdateInfo.Server = "127.0.0.1:" + std::to_string(server.Port());
  engine.PostUpdateInfo.Action = "/echo/report.php";
  engine.PostUpdateInfo.Data = data;
  engine.SendPostUpdateInfo();
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method, "POST");
  EXPECT_EQ(requests[0].Path, "/echo/report.php");
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].Header("User-Agent"), "TKavrel");
  EXPECT_EQ(requests[0].Body, data);
  EXPECT_EQ(engine.PostUpdateInfo.PostResult, data) << "the reply spans several reads";
}

TEST_F(PostReportTest, EmptyDataStillPostsAndBadSettingsAreReported) {
  engine.PostUpdateInfo.Server = "127.0.0.1:" + std::to_string(server.Port());
  engine.PostUpdateInfo.Action = "echo";
  engine.SendPostUpdateInfo();
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].Body, "");
  EXPECT_EQ(server.Requests()[0].Header("Content-Length"), "0");

  engine.PostUpdateInfo.PostResult = "previous";
  engine.PostUpdateInfo.Server = "bad host/name";
  engine.SendPostUpdateInfo();
  EXPECT_EQ(engine.Find(951)->StatusCode, 16);
  EXPECT_EQ(engine.Find(951)->ErrCode, 5);
  EXPECT_EQ(engine.PostUpdateInfo.PostResult, "previous");

  engine.PostUpdateInfo.Server = "127.0.0.1:1";  // nobody listens: not reported
  engine.statuses.clear();
  engine.SendPostUpdateInfo();
  EXPECT_TRUE(engine.statuses.empty());
  EXPECT_EQ(engine.PostUpdateInfo.PostResult, "");

  // Without an action nothing is sent, to a server that would answer.
  engine.PostUpdateInfo.Server = "127.0.0.1:" + std::to_string(server.Port());
  engine.PostUpdateInfo.Action.clear();
  engine.SendPostUpdateInfo();
  EXPECT_TRUE(engine.statuses.empty());
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(PostReportTest, TheReportFollowsRedirectionsOnlyWithinItsServer) {
  THttpTestServer other(www.Path());
  engine.PostUpdateInfo.Server = "127.0.0.1:" + std::to_string(server.Port());
  engine.PostUpdateInfo.Data = "serial=12345";
  // A 307 to another server would have it post the data there.
  engine.PostUpdateInfo.Action = "/redirect-" + std::to_string(other.Port()) + "/keep/echo/r";
  engine.SendPostUpdateInfo();
  EXPECT_TRUE(other.Requests().empty());
  EXPECT_EQ(engine.PostUpdateInfo.PostResult, "");
  // Within its own server it goes on, a POST still.
  server.ClearRequests();
  engine.PostUpdateInfo.Action = "/redirect/keep/echo/r";
  engine.SendPostUpdateInfo();
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].Method, "POST");
  EXPECT_EQ(requests[1].Body, "serial=12345");
}

TEST_F(PostReportTest, ActionIsSentAsWrittenWithoutAnAcceptHeader) {
  engine.PostUpdateInfo.Server = "127.0.0.1:" + std::to_string(server.Port());
  const std::pair<const char*, const char*> cases[] = {
      {"/echo/my%20report.php?x=a%2Fb&y=1", "/echo/my%20report.php?x=a%2Fb&y=1"},
      {"echo/my report.php", "/echo/my%20report.php"},
  };
  for (const auto& [action, sent] : cases) {
    server.ClearRequests();
    engine.PostUpdateInfo.Action = action;
    engine.SendPostUpdateInfo();
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u) << action;
    EXPECT_EQ(requests[0].Path, sent);
    EXPECT_FALSE(requests[0].Header("Accept")) << action;
  }
}

TEST_F(InstructionsTest, StartedProgramsGetNoneOfTheEnginesOpenFiles) {
#ifdef _WIN32
  // Windows has no numbered descriptors to list: the recorder tells whether
  // it holds a handle the engine's process may pass on, like a client socket.
  WriteFile(dir.File("open"), "");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE leaked = ::CreateFileW(platform::win32::Wide(dir.File("open")).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(leaked, INVALID_HANDLE_VALUE);
  const std::string handle = "handle:" + std::to_string(reinterpret_cast<std::uintptr_t>(leaked));
  const std::string recorder = Recorder("check");
  Publish("[action]\r\nrunbefore=" + recorder + " " + handle + "\r\n");
  EXPECT_EQ(engine.RunInstructions(), 0);
  const std::string record = WaitForFile(recorder + ".out").value_or("");
  ::CloseHandle(leaked);
  EXPECT_EQ(record, handle + " closed\n");
#else
  const int leaked = ::open("/dev/null", O_RDONLY);  // no close-on-exec, like a client socket
  ASSERT_GE(leaked, 0);
  ASSERT_EQ(::dup2(leaked, 57), 57);
  const std::string out = dir.File("fds");
  Publish("[action]\r\nrunbefore=/bin/sh -c \"ls /proc/self/fd > '" + out + "'\"\r\n");
  EXPECT_EQ(engine.RunInstructions(), 0);
  const std::string fds = WaitForFile(out).value_or("");
  ::close(57);
  ::close(leaked);
  EXPECT_FALSE(fds.empty());
  EXPECT_EQ(("\n" + fds).find("\n57\n"), std::string::npos) << fds;
#endif
}

}  // namespace
}  // namespace kavrel::test
