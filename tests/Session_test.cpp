// The Internet session of a run: connection test, dial-up, closing.
#include <gtest/gtest.h>

#include "RecordingEngine.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

// Linux has no dial-up; these tests stand in for the system's entries.
class TScopedDialup {
 public:
  TScopedDialup(int connectedState, int dialResult) {
    auto& entries = platform::DialupEntries();
    entries.GetConnectedState = [this, connectedState] {
      ++stateQueries;
      return connectedState;
    };
    entries.Autodial = [this, dialResult](int flags) {
      dialFlags.push_back(flags);
      return dialResult;
    };
    entries.AutodialHangup = [this] {
      ++hangups;
      return 1;
    };
  }
  ~TScopedDialup() { platform::DialupEntries() = {}; }
  int stateQueries = 0;
  std::vector<int> dialFlags;
  int hangups = 0;
};

class SessionTest : public ::testing::Test {
 protected:
  TScopedScriptedUi ui;
  TRecordingEngine engine;
};

TEST_F(SessionTest, MissingDialupEntriesCountAsConnected) {
  engine.URL = "http://updates.example/update.ini";
  EXPECT_EQ(engine.OpenConnection(), 0);
  EXPECT_NE(engine.Connection(), nullptr);
  engine.CloseConnection();
  EXPECT_EQ(engine.Idents(), (std::vector<int>{918, 921, 949, 949}));
}

TEST_F(SessionTest, OfflineWithoutDialingEndsAfterTheCheck) {
  TScopedDialup dialup(0, 1);
  engine.URL = "http://updates.example/update.ini";
  EXPECT_EQ(engine.OpenConnection(), 1);
  EXPECT_EQ(engine.Idents(), std::vector<int>{918});
  EXPECT_TRUE(dialup.dialFlags.empty());
}

TEST_F(SessionTest, ALoopbackLocationNeedsNoConnectionTest) {
  TScopedDialup dialup(0, 1);
  engine.URL = "http://127.0.0.1:8080/update.ini";
  EXPECT_EQ(engine.OpenConnection(), 0);
  EXPECT_EQ(dialup.stateQueries, 0);
  engine.CloseConnection();
}

TEST_F(SessionTest, DialingModesAndTheirReports) {
  struct TCase {
    TKavrelConnect mode;
    int dialResult;
    int openResult;
    std::vector<int> idents;
    int flags;
  };
  const std::vector<TCase> cases = {
      {kvcConnectPrompt, 0, 3, {918, 919, 953}, 1},
      {kvcConnectSilent, 0, 3, {918, 920, 953}, 2},
      {kvcConnectPrompt, 1, 0, {918, 919, 921}, 1},
      {kvcConnectSilentHangup, 1, 0, {918, 920, 921}, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    TScopedDialup dialup(0, c.dialResult);
    TRecordingEngine e;
    e.URL = "http://updates.example/update.ini";
    e.UpdateConnect = c.mode;
    EXPECT_EQ(e.OpenConnection(), c.openResult);
    EXPECT_EQ(e.Idents(), c.idents);
    EXPECT_EQ(dialup.dialFlags, std::vector<int>{c.flags});
    EXPECT_EQ(e.DialledFlag(), c.dialResult != 0);
  }
}

TEST_F(SessionTest, HangupModesHangUpWhatTheEngineDialled) {
  TScopedDialup dialup(0, 1);
  engine.URL = "http://updates.example/update.ini";
  engine.UpdateConnect = kvcConnectPromptHangup;
  ASSERT_EQ(engine.OpenConnection(), 0);
  engine.statuses.clear();
  engine.CloseConnection();
  EXPECT_EQ(engine.Idents(), (std::vector<int>{949, 955, 949}));
  EXPECT_EQ(dialup.hangups, 1);
  EXPECT_TRUE(engine.DialledFlag()) << "stays set for later runs";
}

TEST_F(SessionTest, NoSessionModeOpensNothing) {
  engine.UpdateConnect = kvcNone;
  EXPECT_EQ(engine.OpenConnection(), 0);
  EXPECT_EQ(engine.Connection(), nullptr);
  EXPECT_EQ(engine.Idents(), std::vector<int>{918});
  engine.UpdateType = ftpUpdate;
  EXPECT_EQ(engine.ConnectHost(), -1);
  engine.ReportLastInternetError();
  ASSERT_NE(engine.Find(976), nullptr) << "the missing session is what is reported";
  EXPECT_EQ(engine.Find(976)->ErrCode, 6);
}

TEST_F(SessionTest, FileRunsReportNothingButTheControlFileCopyIsDeleted) {
  TTempDir dir;
  engine.UpdateType = fileUpdate;
  EXPECT_EQ(engine.OpenConnection(), 0);
  engine.ControlFile() = dir.File("update.ini");
  WriteFile(engine.ControlFile(), "[update]");
  engine.CloseConnection();
  EXPECT_TRUE(engine.statuses.empty());
  EXPECT_FALSE(ReadFile(dir.File("update.ini")));
}

TEST_F(SessionTest, InternetErrorsShowABoxOnlyWithoutAStatusHandler) {
  engine.URL = "http://127.0.0.1:1/update.ini";
  ASSERT_EQ(engine.OpenConnection(), 0);
  TTempDir dir;
  EXPECT_FALSE(engine.DownloadFile(engine.Connection(), engine.URL, dir.File("")));
  EXPECT_NE(ui.Shown().find("[box] "), std::string::npos);

  TScopedScriptedUi quiet;
  engine.OnStatus = [](TKavrel&, const std::string&, int, int) {};
  EXPECT_FALSE(engine.DownloadFile(engine.Connection(), engine.URL, dir.File("")));
  engine.OnStatus = nullptr;
  engine.UpdateUpdate = kvuSilent;
  EXPECT_FALSE(engine.DownloadFile(engine.Connection(), engine.URL, dir.File("")));
  EXPECT_EQ(quiet.Shown().find("[box] "), std::string::npos);
  engine.CloseConnection();
}

}  // namespace
}  // namespace kavrel::test
