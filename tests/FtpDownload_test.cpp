// Downloads over FTP against a real server on 127.0.0.1.
#include <gtest/gtest.h>

#include "RecordingEngine.h"
#include "TestServers.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

class FtpDownloadTest : public ::testing::Test {
 protected:
  FtpDownloadTest() : server(root.Path(), "user", "secret") {}

  void SetUp() override {
    WriteFile(root.File("pub/app.exe"), GeneratedBytes(3 * 4096 + 5));
    WriteFile(root.File("top.txt"), "at the top");
    engine.UpdateType = ftpUpdate;
    engine.Host = "127.0.0.1";
    engine.Port = server.Port();
    engine.FTPPassive = true;
    engine.UseWinTempDir = false;
    engine.TempDirectory = temp.Path();
  }

  // Opens the session and the host connection as a run does.
  bool Connect() { return engine.OpenConnection() == 0 && engine.ConnectHost() == 0; }
  bool Fetch(const std::string& location) {
    return engine.DownloadFile(engine.Connection(), location, target.File(""));
  }

  TTempDir root, target, temp;
  TFtpTestServer server;
  TScopedScriptedUi ui;
  TRecordingEngine engine;
};

TEST_F(FtpDownloadTest, LoggedInFetchInADirectoryByBareName) {
  engine.UserID = "user";
  engine.Password = "secret";
  engine.FTPDirectory = "pub";
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(Fetch("some/folders/app.exe"));
  EXPECT_EQ(ReadFile(target.File("app.exe")), GeneratedBytes(3 * 4096 + 5));
  EXPECT_EQ(engine.progress.back().Size, 3 * 4096 + 5);
  EXPECT_EQ(engine.progress.back().Pos, 3 * 4096 + 5);
  engine.CloseConnection();
#ifdef _WIN32
  // Under Wine the library keeps no answer text for a command that went
  // well, so the file's size comes from a listing of its name, over a data
  // connection of its own made the same way.
  EXPECT_EQ(server.DataConnections(), (std::vector<std::string>{"passive", "passive"}));
#else
  EXPECT_EQ(server.DataConnections(), std::vector<std::string>{"passive"});
#endif
  EXPECT_EQ(engine.Idents(), (std::vector<int>{918, 921, 923, 915, 974, 954, 949, 949}));
}

TEST_F(FtpDownloadTest, AnonymousWhenThePasswordIsMissingAndActiveModeWorks) {
  engine.UserID = "user";  // without a password the login is anonymous
  engine.FTPPassive = false;
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(Fetch("top.txt"));
  EXPECT_EQ(ReadFile(target.File("top.txt")), "at the top");
  engine.CloseConnection();
#ifdef _WIN32
  // Under Wine the size comes from a listing (see above).
  EXPECT_EQ(server.DataConnections(), (std::vector<std::string>{"active", "active"}));
#else
  EXPECT_EQ(server.DataConnections(), std::vector<std::string>{"active"});
#endif
}

TEST_F(FtpDownloadTest, FailedDirectoryChangeIsReportedOnceAndFetchesGoOnInTheLoginDirectory) {
  engine.FTPDirectory = "missing";
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(Fetch("top.txt"));
  const TStatusRecord* report = engine.Find(975);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->Arg, "missing");
  EXPECT_EQ(report->ErrCode, 8);
  engine.statuses.clear();
  ASSERT_TRUE(Fetch("top.txt"));
  EXPECT_EQ(engine.Find(974), nullptr) << "the change is made once per connection";
  engine.CloseConnection();
}

TEST_F(FtpDownloadTest, MissingFileReportsTheClientErrorAndNotFound) {
  WriteFile(target.File("gone.bin"), "old");
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(Fetch("gone.bin"));
  EXPECT_NE(engine.Find(976), nullptr);
  EXPECT_EQ(engine.statuses.back().Ident, 917);
  EXPECT_EQ(ReadFile(target.File("gone.bin")), "old");
  engine.CloseConnection();
}

TEST_F(FtpDownloadTest, WrongPasswordFailsTheHostConnection) {
  engine.UserID = "user";
  engine.Password = "wrong";
  ASSERT_EQ(engine.OpenConnection(), 0);
  EXPECT_EQ(engine.ConnectHost(), -1);
  EXPECT_EQ(engine.Connection(), nullptr);
  engine.ReportLastInternetError();
  EXPECT_NE(engine.Find(976), nullptr);
  engine.CloseConnection();
}

TEST_F(FtpDownloadTest, EmptyFileIsNotPutInPlace) {
  WriteFile(root.File("empty.bin"), "");
  WriteFile(target.File("empty.bin"), "old");
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(Fetch("empty.bin"));
  EXPECT_EQ(ReadFile(target.File("empty.bin")), "old");
  engine.CloseConnection();
}

}  // namespace
}  // namespace kavrel::test
