// The run driver's order of steps and the results that end a run, observed on
// an engine whose steps are scripted.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

#include "InstallationRun.h"
#include "Kavrel.h"
#include "TestSupport.h"

namespace kavrel {
namespace {

class TDummyHandle : public platform::TInternetHandle {};

class TScriptedEngine : public TKavrel {
 public:
  // What each scripted step returns.
  int openResult = 0;
  int connectHostResult = 0;
  bool connectionAfterOpen = true;
  int sectionResult = 0;
  int conditionsResult = 11;
  int instructionsResult = 0;
  std::optional<TStrings> whatsNew;
  std::optional<TStrings> license;
  int whatsNewAnswer = 0;
  int licenseAnswer = 0;
  int fileCount = 1;
  int selectResult = 0;
  bool appUpdateFromControlFile = true;
  bool componentInstalled = false;
  bool cancelDuringInstall = false;
  int installResult = 0;
  std::string controlFile;  // path given as the local control file

  std::vector<std::string> calls;

  bool Has(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
  std::ptrdiff_t IndexOf(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
  }

  void ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) override {
    calls.push_back("[" + std::to_string(Ident) + "]");
    TKavrel::ReportStatus(Ident, Arg, StatusCode, ErrCode);
  }
  int OpenConnection() override {
    calls.push_back("OpenConnection");
    ConnectHandle = connectionAfterOpen ? &handle_ : nullptr;
    return openResult;
  }
  int ConnectHost() override {
    calls.push_back("ConnectHost");
    return connectHostResult;
  }
  void ReportInternetError() override { calls.push_back("ReportInternetError"); }
  void CloseConnection() override { calls.push_back("CloseConnection"); }
  int CheckUpdateSection() override {
    calls.push_back("CheckUpdateSection");
    ControlFileName = controlFile;
    AppUpdate = appUpdateFromControlFile;
    return sectionResult;
  }
  int CheckUpdateConditions() override {
    calls.push_back("CheckUpdateConditions");
    return conditionsResult;
  }
  int RunInstructions() override {
    calls.push_back("RunInstructions");
    return instructionsResult;
  }
  std::optional<TStrings> GetWhatsNew() override {
    calls.push_back("GetWhatsNew");
    return whatsNew;
  }
  std::optional<TStrings> GetLicense() override {
    calls.push_back("GetLicense");
    return license;
  }
  int ShowWhatsNew(TStrings&) override {
    calls.push_back("ShowWhatsNew");
    return whatsNewAnswer;
  }
  int ShowLicense(TStrings&) override {
    calls.push_back("ShowLicense");
    return licenseAnswer;
  }
  int ReadFileList() override {
    calls.push_back("ReadFileList");
    return fileCount;
  }
  int SelectFiles() override {
    calls.push_back("SelectFiles");
    return selectResult;
  }
  int InstallFiles() override {
    calls.push_back("InstallFiles");
    AppComponentUpdated = componentInstalled;
    if (cancelDuringInstall) Cancelled = true;
    return installResult;
  }
  void DeployUtility() override { calls.push_back("DeployUtility"); }
  void SendPostUpdateInfo() override { calls.push_back("SendPostUpdateInfo"); }
  void WriteLastURL(const std::string& address) override {
    calls.push_back("WriteLastURL " + address);
  }
  void WriteLastUpdateDate(TDateTime) override { calls.push_back("WriteLastUpdateDate"); }

  bool AppUpdateFlag() const { return AppUpdate; }
  bool CancelledFlag() const { return Cancelled; }
  bool Restart() const { return RestartNeeded(); }
  void SetSaveLastDate() { SaveLastDate = true; }

 private:
  TDummyHandle handle_;
};

class RunDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.controlFile = dir.File("update.ini");
    test::WriteFile(engine.controlFile, "[update]\r\n");
    engine.OnSuccess = [this](TKavrel&) { engine.calls.push_back("OnSuccess"); };
  }
  test::TTempDir dir;
  // A temporary folder of the test's own, so that two tests running at once
  // never meet at the installation's lock, which lies there.
  test::TScopedTempFolder temp{dir.Path()};
  TScriptedEngine engine;
};

TEST_F(RunDriverTest, StartOfRunDiagnosticsComeFirstAndAFailedOpenEndsAtOnce) {
  engine.openResult = 1;
  engine.RunUpdate();
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"[968]", "[966]", "[967]", "[969]", "[970]",
                                                    "[963]", "OpenConnection"}));
}

TEST_F(RunDriverTest, SuccessfulRunKeepsTheOrderOfItsEffects) {
  engine.componentInstalled = true;
  engine.PostUpdateInfo.Enabled = true;
  engine.SetSaveLastDate();
  test::WriteFile(engine.controlFile,
                  "[action]\r\nupdateURL=http://example.invalid/{APP}/next.ini\r\n");
  engine.RunUpdate();
  const std::vector<std::string> expected = {"OpenConnection",
                                             "CheckUpdateSection",
                                             "CheckUpdateConditions",
                                             "RunInstructions",
                                             "GetWhatsNew",
                                             "GetLicense",
                                             "ReadFileList",
                                             "SelectFiles",
                                             "InstallFiles",
                                             "SendPostUpdateInfo",
                                             "WriteLastUpdateDate",
                                             "[941]",
                                             "WriteLastURL http://example.invalid/{APP}/next.ini",
                                             "[948]",
                                             "CloseConnection",
                                             "OnSuccess"};
  std::vector<std::string> observed;
  for (const std::string& c : engine.calls)
    if (std::find(expected.begin(), expected.end(), c) != expected.end()) observed.push_back(c);
  EXPECT_EQ(observed, expected);
  EXPECT_FALSE(engine.Has("ConnectHost"));
  EXPECT_TRUE(engine.Restart());
}

TEST_F(RunDriverTest, EachStopClosesTheConnectionAndSkipsWhatFollows) {
  struct TCase {
    const char* name;
    std::function<void(TScriptedEngine&)> setup;
    const char* lastStep;
    bool appUpdateCleared;
  };
  const std::vector<TCase> cases = {
      {"control file not found", [](TScriptedEngine& e) { e.sectionResult = 4; },
       "CheckUpdateSection", false},
      {"no update", [](TScriptedEngine& e) { e.conditionsResult = 7; }, "CheckUpdateConditions",
       true},
      {"query refused", [](TScriptedEngine& e) { e.instructionsResult = 1; }, "RunInstructions",
       false},
      {"empty file list", [](TScriptedEngine& e) { e.fileCount = 0; }, "ReadFileList", true},
      {"negative file count", [](TScriptedEngine& e) { e.fileCount = -3; }, "ReadFileList", true},
      {"nothing selected", [](TScriptedEngine& e) { e.selectResult = -1; }, "SelectFiles", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptedEngine e;
    e.controlFile = engine.controlFile;
    bool success = false;
    e.OnSuccess = [&](TKavrel&) { success = true; };
    c.setup(e);
    e.RunUpdate();
    ASSERT_FALSE(e.calls.empty());
    EXPECT_EQ(e.calls.back(), "CloseConnection");
    EXPECT_LT(e.IndexOf(c.lastStep), e.IndexOf("CloseConnection"));
    EXPECT_FALSE(e.Has("InstallFiles"));
    EXPECT_FALSE(e.Has("[948]"));
    EXPECT_FALSE(success);
    if (c.appUpdateCleared) {
      EXPECT_FALSE(e.AppUpdateFlag());
    } else {
      EXPECT_TRUE(e.AppUpdateFlag()) << "this stop leaves AppUpdate as the steps left it";
    }
  }
}

TEST_F(RunDriverTest, FtpHostFailureIsReportedAndEndsTheRun) {
  engine.UpdateType = ftpUpdate;
  engine.connectHostResult = -1;
  engine.connectionAfterOpen = false;
  engine.RunUpdate();
  EXPECT_LT(engine.IndexOf("ConnectHost"), engine.IndexOf("ReportInternetError"));
  EXPECT_EQ(engine.calls.back(), "CloseConnection");
  EXPECT_FALSE(engine.Has("CheckUpdateSection"));
}

TEST_F(RunDriverTest, FileUpdateNeedsNoConnection) {
  engine.UpdateType = fileUpdate;
  engine.connectionAfterOpen = false;
  engine.RunUpdate();
  EXPECT_TRUE(engine.Has("CheckUpdateSection"));
  EXPECT_TRUE(engine.Has("[948]"));
}

TEST_F(RunDriverTest, ForceUpdateSkipsTheConditions) {
  engine.ForceUpdate = true;
  engine.conditionsResult = 7;
  engine.RunUpdate();
  EXPECT_FALSE(engine.Has("CheckUpdateConditions"));
  EXPECT_TRUE(engine.Has("InstallFiles"));
}

TEST_F(RunDriverTest, DeclinedWhatsNewStillFetchesTheLicenceButDoesNotShowIt) {
  engine.whatsNew = TStrings{"news"};
  engine.license = TStrings{"terms"};
  engine.whatsNewAnswer = 1;
  engine.RunUpdate();
  EXPECT_TRUE(engine.Has("GetLicense"));
  EXPECT_FALSE(engine.Has("ShowLicense"));
  EXPECT_FALSE(engine.Has("ReadFileList"));
  EXPECT_FALSE(engine.AppUpdateFlag());
}

TEST_F(RunDriverTest, DeclinedLicenceEndsTheRun) {
  engine.license = TStrings{"terms"};
  engine.licenseAnswer = 2;
  engine.RunUpdate();
  EXPECT_TRUE(engine.Has("ShowLicense"));
  EXPECT_FALSE(engine.Has("ReadFileList"));
  EXPECT_FALSE(engine.AppUpdateFlag());
}

TEST_F(RunDriverTest, RefusedPostResultSkipsTheRestOfTheFinishButNotSuccess) {
  engine.PostUpdateInfo.Enabled = true;
  engine.OnProcessPostResult = [](TKavrel&, bool& allow) { allow = false; };
  engine.SetSaveLastDate();
  test::WriteFile(engine.controlFile, "[action]\r\nupdateURL=x\r\n");
  engine.RunUpdate();
  EXPECT_TRUE(engine.Has("SendPostUpdateInfo"));
  EXPECT_FALSE(engine.Has("WriteLastUpdateDate"));
  EXPECT_FALSE(engine.Has("[941]"));
  EXPECT_FALSE(engine.Has("[948]"));
  EXPECT_TRUE(engine.Has("OnSuccess"));
}

TEST_F(RunDriverTest, RefusedPostIsNotSentButTheFinishGoesOn) {
  engine.PostUpdateInfo.Enabled = true;
  engine.OnBeforePost = [](TKavrel&, bool& allow) { allow = false; };
  engine.RunUpdate();
  EXPECT_FALSE(engine.Has("SendPostUpdateInfo"));
  EXPECT_TRUE(engine.Has("[948]"));
}

TEST_F(RunDriverTest, CancelledTransferSkipsFinishSuccessAndRestartAndStaysSet) {
  engine.componentInstalled = true;
  engine.cancelDuringInstall = true;
  engine.RunUpdate();
  EXPECT_FALSE(engine.Has("[948]"));
  EXPECT_FALSE(engine.Has("OnSuccess"));
  EXPECT_FALSE(engine.Restart());
  engine.calls.clear();
  engine.cancelDuringInstall = false;
  engine.RunUpdate();
  EXPECT_TRUE(engine.CancelledFlag());
  EXPECT_FALSE(engine.Has("OnSuccess"));
}

TEST_F(RunDriverTest, AnInstallationThatFailedIsNoSuccessAndHandsNothingOver) {
  engine.installResult = -1;
  engine.componentInstalled = true;
  engine.RunUpdate();
  EXPECT_TRUE(engine.Has("[986]"));
  EXPECT_FALSE(engine.Has("[948]"));
  EXPECT_FALSE(engine.Has("OnSuccess"));
  EXPECT_FALSE(engine.Restart());
}

TEST_F(RunDriverTest, UtilityIsDeployedOnlyWithPatchingAndDroppedWhenItGoes) {
  {
    TKavrelUtility utility;
    engine.SetUtility(&utility);
    engine.RunUpdate();
    EXPECT_FALSE(engine.Has("DeployUtility"));
    engine.ApplyPatch = true;
    engine.calls.clear();
    engine.RunUpdate();
    EXPECT_TRUE(engine.Has("DeployUtility"));
  }
  EXPECT_EQ(engine.Utility(), nullptr);
  engine.calls.clear();
  engine.RunUpdate();
  EXPECT_FALSE(engine.Has("DeployUtility"));
}

TEST_F(RunDriverTest, AProgramAfterTheUpdateIsStartedWithItsArguments) {
#ifdef _WIN32
  // Windows runs no shell script: the program is the argument recorder.
  const std::string program = test::CopyRecorder(dir.File("after.exe"));
  test::WriteFile(engine.controlFile,
                  "[action]\r\nrunafter=" + program + " \"two words\" last\r\n");
  engine.RunUpdate();
  EXPECT_EQ(test::WaitForFile(program + ".out"), "two words\nlast\n")
      << "the program after the update";
#else
  const std::string script = dir.File("after.sh");
  const std::string marker = dir.File("ran with");
  test::WriteScript(script, "printf '%s' \"$1\" > \"$2\"");
  test::WriteFile(engine.controlFile,
                  "[action]\r\nrunafter=" + script + " \"two words\" \"" + marker + "\"\r\n");
  engine.RunUpdate();
  EXPECT_EQ(test::WaitForFile(marker), "two words") << "the program after the update";
#endif
}

TEST_F(RunDriverTest, ASecondRunFromAHandlerIsRefused) {
  int runs = 0;
  engine.OnStatus = [&](TKavrel& sender, const std::string&, int, int) {
    if (runs++ == 0) sender.RunUpdate();
  };
  engine.RunUpdate();
  EXPECT_EQ(std::count(engine.calls.begin(), engine.calls.end(), "OpenConnection"), 1);
}

TEST_F(RunDriverTest, AnErrorInAStepEndsTheRunWithoutClosingAndAllowsANextRun) {
  class TThrowingEngine : public TScriptedEngine {
    int RunInstructions() override { throw std::runtime_error("log cannot be written"); }
  } throwing;
  throwing.controlFile = engine.controlFile;
  EXPECT_THROW(throwing.RunUpdate(), std::runtime_error);
  EXPECT_FALSE(throwing.Has("CloseConnection"));
  EXPECT_FALSE(throwing.Running());
  throwing.calls.clear();
  EXPECT_THROW(throwing.RunUpdate(), std::runtime_error);
  EXPECT_TRUE(throwing.Has("OpenConnection"));
}

TEST(CheckCancelTest, ReportsCancellationWithoutTouchingTheSticky) {
  TScriptedEngine engine;
  bool cancel = false;
  engine.CheckCancel(cancel);
  EXPECT_FALSE(cancel);
  EXPECT_FALSE(engine.Has("[964]"));
  engine.OnProgressCancel = [](TKavrel&, bool& c) { c = true; };
  engine.CheckCancel(cancel);
  EXPECT_TRUE(cancel);
  EXPECT_TRUE(engine.Has("[964]"));
  EXPECT_FALSE(engine.CancelledFlag());
}

// A whole run of the program whose file cannot be put in place: the user is
// told that the update was not fully applied, and the run does not finish as
// one whose files all arrived (no redirection taken, no "finished").
class RunDriverWholeRunTest : public test::TInstallationRun {};

TEST_F(RunDriverWholeRunTest, AFileThatCannotBePutInPlaceIsReportedAsNotFullyApplied) {
  // A folder holds the file's name: nothing can be renamed over it.
  test::WriteFile(app.File("app.exe/kept"), "kept");
  Publish({{"url=" + server.Url("gen/10/app.exe"), "targetdir=" + app.Path()}},
          "[action]\r\nupdateURL=" + server.Url("next.ini") + "\r\n");
  const test::TProgramResult r = Run({});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  const std::vector<std::string> shown = {
      "[973] Cannot rename file : ", " to " + app.File("app.exe") + " (Status:19)",
      "[986] Update not fully applied"};
  for (const std::string& text : shown)
    EXPECT_NE(r.Out.find(text), std::string::npos) << text << "\n" << r.Out;
  for (const std::string finish : {"[941]", "[948]"})
    EXPECT_EQ(r.Out.find(finish), std::string::npos) << finish << "\n" << r.Out;
  EXPECT_LT(r.Out.find("[986]"), r.Out.find("[949]")) << "reported before the run closes";
  EXPECT_EQ(test::ReadFile(app.File("app.exe/kept")), "kept");
}

}  // namespace
}  // namespace kavrel
