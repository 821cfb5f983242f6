// Runs whose server or network fails them: the control file, a file or a text
// cut short, errors for ever, answers that are no HTTP, a transfer that stalls
// until the user cancels. Each ends with its report, and the installed file is
// the complete old one.
#include <signal.h>

#include <algorithm>
#include <chrono>

#include "InstallationRun.h"

namespace kavrel::test {
namespace {

const std::string kOld = "old app";

class NetworkFaultTest : public TInstallationRun {
 protected:
  void SetUp() override {
    WriteFile(www.File("app.exe"), GeneratedBytes(300000));
    WriteFile(www.File("news.txt"), std::string(20000, 'n'));
    WriteFile(app.File("app.exe"), kOld);
  }
  // The control file names one file and, when given, a what's-new text.
  void PublishApp(const std::string& file, const std::string& text = "") {
    const std::string news = text.empty() ? "" : "[whatsnew]\r\nfile=" + server.Url(text) + "\r\n";
    Publish({{"url=" + server.Url(file), "targetdir=" + app.Path()}}, news);
  }
  TProgramResult RunFrom(const std::string& control) {
    return Run({"URL=" + server.Url(control), "UseWinTempDir=False"}, "ok");
  }
  void ExpectNothingLost(const std::string& what) {
    EXPECT_TRUE(ReadFile(app.File("app.exe")) == kOld) << what;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << what;
  }
};

TEST_F(NetworkFaultTest, AControlFileThatFailsEndsTheRunWithItsReport) {
  PublishApp("app.exe");
  const struct {
    std::string control, report;
  } cases[] = {
      {"short/update.ini", "[925]"},      {"status-500/update.ini", "[916] Http status : 500"},
      {"status-404/update.ini", "[916]"}, {"auth/update.ini", "[916] Http status : 401"},
      {"garbage/update.ini", "[925]"},
  };
  for (const auto& c : cases) {
    const TProgramResult r = RunFrom(c.control);
    EXPECT_NE(r.Out.find(c.report), std::string::npos) << c.control << "\n" << r.Out << r.Err;
    EXPECT_EQ(r.Out.find("[926]"), std::string::npos) << c.control;
    ExpectNothingLost(c.control);
  }
}

TEST_F(NetworkFaultTest, AFileThatFailsLeavesTheOldOneWhole) {
  for (const std::string file : {"short/app.exe", "short-1/app.exe", "status-500/app.exe",
                                 "status-404/app.exe", "auth/app.exe", "garbage/app.exe"}) {
    PublishApp(file);
    const TProgramResult r = RunFrom("update.ini");
    EXPECT_NE(r.Out.find("[946]"), std::string::npos) << file << "\n" << r.Out << r.Err;
    ExpectNothingLost(file);
  }
}

TEST_F(NetworkFaultTest, ATextCutShortNeverStandsInForTheControlFileOrAFile) {
  for (const std::string text : {"short/news.txt", "status-500/news.txt", "garbage/news.txt"}) {
    PublishApp("app.exe", text);
    const TProgramResult r = RunFrom("update.ini");
    EXPECT_EQ(r.ExitCode, 0) << text << r.Err;
    // The update goes on without the text, and the file arrives whole.
    EXPECT_TRUE(ReadFile(app.File("app.exe")) == GeneratedBytes(300000)) << text << "\n" << r.Out;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << text;
    WriteFile(app.File("app.exe"), kOld);
  }
}

TEST_F(NetworkFaultTest, AnFtpDataConnectionDroppedMidFileLeavesTheOldOneWhole) {
  TFtpTestServer ftp(www.Path(), "user", "secret", 0, 50000);
  Publish({{"url=app.exe", "targetdir=" + app.Path()}});
  const TProgramResult r = Run({"URL=update.ini", "UpdateType=ftpUpdate", "Host=127.0.0.1",
                                "Port=" + std::to_string(ftp.Port()), "UserID=user",
                                "Password=secret", "FTPPassive=True", "UseWinTempDir=False"});
  EXPECT_NE(r.Out.find("[926]"), std::string::npos) << r.Out << r.Err;
  EXPECT_NE(r.Out.find("[946]"), std::string::npos) << r.Out;
  ExpectNothingLost("ftp");
}

// The user's Ctrl+C at the program's console (on Windows a console of its own).
TEST_F(NetworkFaultTest, AStalledTransferEndsAtTheUsersCancel) {
  PublishApp("slow-60000-100000/app.exe");  // 100 000 bytes, then a minute of silence
  auto run = Start({"URL=" + server.Url("update.ini"), "UseWinTempDir=False"}, true);
  ASSERT_TRUE(run->WaitForOutput("[915] Download : " + server.Url("slow-60000-100000/app.exe"),
                                 std::chrono::seconds(20)))
      << run->Output();
  // Into the stall: the answer has come, and the file's temporary copy is made.
  ASSERT_TRUE(WaitUntil([&] {
    const std::vector<std::string> made = Leftovers();
    return std::any_of(made.begin(), made.end(), [](const std::string& f) {
      return IsTemporaryName(f.substr(f.find_last_of('/') + 1));
    });
  })) << run->Output();
  const auto asked = std::chrono::steady_clock::now();
  run->Interrupt();
  const TProgramResult r = run->Wait(30);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(3)) << r.Out;
  EXPECT_NE(r.Out.find("[964]"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("[949]"), std::string::npos) << "the connection is closed";
  ExpectNothingLost("cancelled");
}

}  // namespace
}  // namespace kavrel::test
