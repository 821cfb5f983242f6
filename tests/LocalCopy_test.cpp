// Copies for runs over file paths: the fileUpdate transport.
#include <gtest/gtest.h>

#include "RecordingEngine.h"
#include "TestSupport.h"
#include "UpdateLog.h"

namespace kavrel::test {
namespace {

class LocalCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.UpdateType = fileUpdate;
    engine.UseWinTempDir = false;
    engine.TempDirectory = temp.Path();
    engine.SetLogFileName(temp.File("update.log"));
    WriteFile(share.File("dist/tool.exe"), std::string(100000, 'x'));
  }
  bool Fetch(const std::string& target) {
    return engine.DownloadFile(nullptr, share.File("dist/tool.exe"), target);
  }

  TTempDir share, target, temp;
  TScopedScriptedUi ui;
  TRecordingEngine engine;
};

TEST_F(LocalCopyTest, IntoAFolderOrOntoAFilePath) {
  ASSERT_TRUE(Fetch(target.File("")));
  EXPECT_EQ(ReadFile(target.File("tool.exe")), std::string(100000, 'x'));
  ASSERT_TRUE(Fetch(target.File("renamed.exe")));
  EXPECT_EQ(ReadFile(target.File("renamed.exe")), std::string(100000, 'x'));
  EXPECT_EQ(engine.downloaded,
            (std::vector<std::string>{target.File("tool.exe"), target.File("renamed.exe")}));
  // 32768-byte blocks: four with data and the final empty read.
  EXPECT_EQ(engine.progress.size(), 10u);
  EXPECT_EQ(engine.progress[4].Pos, 100000);
  EXPECT_EQ(engine.progress[4].Size, 100000);
}

TEST_F(LocalCopyTest, RefusalsAreReportedWithTheirCodes) {
  WriteFile(share.File("empty.exe"), "");
  struct TCase {
    std::string source, dest;
    int ident, status, error;
  };
  const std::vector<TCase> cases = {
      {share.File("dist/tool.exe"), share.File("dist/tool.exe"), 912, 10, 3},
      {share.File("missing.exe"), target.File("m.exe"), 913, 2, 1},
      {share.File("empty.exe"), target.File("e.exe"), 914, 10, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.ident);
    engine.statuses.clear();
    EXPECT_FALSE(engine.CopyLocalFile(c.source, c.dest));
    ASSERT_EQ(engine.statuses.size(), 1u);
    EXPECT_EQ(engine.statuses[0].Ident, c.ident);
    EXPECT_EQ(engine.statuses[0].Arg, c.source);
    EXPECT_EQ(engine.statuses[0].StatusCode, c.status);
    EXPECT_EQ(engine.statuses[0].ErrCode, c.error);
  }
  EXPECT_EQ(ReadFile(share.File("dist/tool.exe")), std::string(100000, 'x'));
}

TEST_F(LocalCopyTest, CancelLeavesTheDestinationUntouched) {
  WriteFile(target.File("tool.exe"), "old");
  engine.OnProgressCancel = [](TKavrel&, bool& cancel) { cancel = true; };
  EXPECT_FALSE(Fetch(target.File("")));
  EXPECT_EQ(ReadFile(target.File("tool.exe")), "old");
  EXPECT_TRUE(engine.CancelledFlag());
}

TEST_F(LocalCopyTest, AFailedFinalMoveIsReportedAndLogged) {
  const std::string dest = target.File("no such folder/tool.exe");
  EXPECT_FALSE(engine.CopyLocalFile(share.File("dist/tool.exe"), dest));
  const TStatusRecord* report = engine.Find(973);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->StatusCode, 19);
  EXPECT_EQ(report->ErrCode, 7);
  const std::string suffix = " to " + dest;
  ASSERT_GT(report->Arg.size(), suffix.size());
  EXPECT_EQ(report->Arg.substr(report->Arg.size() - suffix.size()), suffix);
  const std::string log = ReadFile(temp.File("update.log")).value_or("");
  EXPECT_NE(log.find("Unable to rename file " + report->Arg + "\r\n"), std::string::npos) << log;
}

TEST_F(LocalCopyTest, ReadOnlyDestinationIsReplaced) {
  WriteFile(target.File("tool.exe"), "old");
  ASSERT_EQ(::chmod(target.File("tool.exe").c_str(), 0444), 0);
  ASSERT_TRUE(Fetch(target.File("")));
  EXPECT_EQ(ReadFile(target.File("tool.exe")), std::string(100000, 'x'));
}

}  // namespace
}  // namespace kavrel::test
