// Reading the file list from a control file and selecting what this machine
// needs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "PathNames.h"
#include "RecordingEngine.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

class TSelectionEngine : public TRecordingEngine {
 public:
  void UseControlFile(const std::string& path) { ControlFileName = path; }
  std::vector<std::string> Urls() const {
    std::vector<std::string> urls;
    for (std::size_t i = 0; i < FileList.Count(); ++i) urls.push_back(FileList[i].URL);
    return urls;
  }
};

class FileSelectionTest : public ::testing::Test {
 protected:
  void Publish(const std::string& text) {
    WriteFile(dir.File("update.ini"), text);
    engine.UseControlFile(dir.File("update.ini"));
  }
  // A file section comparing by size with a local file of 3 bytes.
  std::string SizeEntry(int n, const std::string& url, int size, const std::string& descr = "d") {
    return "[file" + std::to_string(n) + "]\r\nurl=" + url +
           "\r\nlocalversion=" + dir.File("local.dat") + "\r\nnewsize=" + std::to_string(size) +
           "\r\ndescr=" + descr + "\r\n";
  }
  void SetUp() override { WriteFile(dir.File("local.dat"), "abc"); }

  TTempDir dir;
  TScopedScriptedUi ui;
  TSelectionEngine engine;
};

TEST_F(FileSelectionTest, EntriesTakeTheirKeysAndDefaults) {
  Publish(
      "[files]\r\ncount=3\r\n[file1]\r\nurl={TMP}dist/a.exe\r\ntargetdir=sub\r\nnewversion=1.2\r\n"
      "compressed=1\r\nmandatory=yes\r\npreselect=0\r\nhidden=1\r\nfilesize=$10\r\n"
      "[FILE3]\r\nURL=c.exe\r\n[file4]\r\nurl=never.exe\r\n");
  ASSERT_EQ(engine.ReadFileList(), 3);
  EXPECT_EQ(engine.Idents(), std::vector<int>{943});
  ASSERT_EQ(engine.FileList.Count(), 3u);
  const TFileDescription& a = engine.FileList[0];
  EXPECT_NE(a.URL.find("dist/a.exe"), std::string::npos);
  EXPECT_EQ(a.URL.find("{TMP}"), std::string::npos);
  EXPECT_EQ(a.TargetDir, std::string("sub") + platform::kNativeSeparator);
  EXPECT_TRUE(a.Compressed);
  EXPECT_FALSE(a.Mandatory);
  EXPECT_FALSE(a.Preselect);
  EXPECT_TRUE(a.Hidden);
  EXPECT_EQ(a.FileSize, 16);
  const TFileDescription& missing = engine.FileList[1];
  EXPECT_EQ(missing.URL, "");
  EXPECT_EQ(missing.TargetDir, "") << "an empty folder stays empty";
  EXPECT_EQ(missing.NewCheckSum, -1);
  EXPECT_TRUE(missing.Preselect);
  EXPECT_EQ(engine.FileList[2].URL, "c.exe");
  EXPECT_EQ(engine.FileList[1].DisplayLine(), "[,nv=,nd=,ns=0,nc=-1]");

  Publish("[files]\r\ncount=0\r\n");
  EXPECT_EQ(engine.ReadFileList(), 0);
  EXPECT_EQ(engine.FileList.Count(), 0u);
}

TEST_F(FileSelectionTest, RemovalsAtTheFrontMiddleAndEndKeepTheWalkInStep) {
  // Sizes equal to the local file's 3 bytes are up to date and removed.
  Publish("[files]\r\ncount=5\r\n" + SizeEntry(1, "a", 3) + SizeEntry(2, "b", 9) +
          SizeEntry(3, "c", 3) + SizeEntry(4, "d", 9) + SizeEntry(5, "e", 3));
  engine.ReadFileList();
  engine.statuses.clear();
  EXPECT_EQ(engine.SelectFiles(), 0);
  EXPECT_EQ(engine.Urls(), (std::vector<std::string>{"b", "d"}));
  // Report 971 for each entry before it is judged, 930 (status 0) for each removal.
  std::vector<int> expected = {971, 930, 971, 971, 930, 971, 971, 930};
  EXPECT_EQ(engine.Idents(), expected);
  EXPECT_EQ(engine.statuses[0].Arg, "a[" + dir.File("local.dat") + ",nv=,nd=,ns=3,nc=-1]");
  EXPECT_EQ(engine.statuses[1].StatusCode, 0);
}

TEST_F(FileSelectionTest, DateBasedEntriesCompareWithTheLocalFilesTime) {
  WriteFile(dir.File("old.exe"), "x");
  WriteFile(dir.File("same.exe"), "x");
  struct tm when {};
  when.tm_year = 2009 - 1900;
  when.tm_mon = 2;
  when.tm_mday = 21;
  when.tm_hour = 14;
  when.tm_min = 2;
  when.tm_isdst = -1;
  const time_t stamp = ::mktime(&when);
  utimbuf times{stamp, stamp};
  ASSERT_EQ(::utime(dir.File("same.exe").c_str(), &times), 0);
  utimbuf older{stamp - 3600, stamp - 3600};
  ASSERT_EQ(::utime(dir.File("old.exe").c_str(), &older), 0);
  auto entry = [&](int n, const std::string& local) {
    return "[file" + std::to_string(n) + "]\r\nurl=" + local +
           "\r\nlocalversion=" + dir.File(local) + "\r\ndate=21/03/2009\r\ntime=14:02\r\n";
  };
  Publish("[files]\r\ncount=3\r\n" + entry(1, "missing.exe") + entry(2, "old.exe") +
          entry(3, "same.exe"));
  engine.ReadFileList();
  EXPECT_EQ(engine.SelectFiles(), 0);
  EXPECT_EQ(engine.Urls(), (std::vector<std::string>{"missing.exe", "old.exe"}));
}

TEST_F(FileSelectionTest, CustomVersionsAreJudgedByTheHostOnly) {
  const std::string custom =
      "[files]\r\ncount=1\r\n[file1]\r\nurl=a\r\nlocalversion=" + dir.File("local.dat") +
      "\r\ncustomversion=build 7\r\n";
  Publish(custom);
  engine.ReadFileList();
  EXPECT_EQ(engine.SelectFiles(), 0) << "without the event the custom version has no effect";

  std::vector<std::string> asked;
  engine.OnFileVersionCheck = [&](TKavrel&, const std::string& newVersion,
                                  const std::string& localVersion, bool& isNew) {
    asked = {newVersion, localVersion};
    isNew = false;
  };
  engine.ReadFileList();
  EXPECT_EQ(engine.SelectFiles(), -1);
  EXPECT_EQ(asked, (std::vector<std::string>{"build 7", dir.File("local.dat")}));
}

TEST_F(FileSelectionTest, TheHostDeselectsByEmptyingLines) {
  Publish("[files]\r\ncount=4\r\n" + SizeEntry(1, "a", 9, "First") + SizeEntry(2, "b", 9, "") +
          SizeEntry(3, "c", 9, "Third") + SizeEntry(4, "d", 9, "Fourth"));
  std::vector<std::string> shown;
  engine.OnGetFileList = [&](TKavrel&, TStrings& lines) {
    shown = lines;
    lines[2] = "";  // "Third"
  };
  engine.ReadFileList();
  EXPECT_EQ(engine.SelectFiles(), 0);
  EXPECT_EQ(shown, (std::vector<std::string>{"First", "", "Third", "Fourth"}));
  EXPECT_EQ(engine.Urls(), (std::vector<std::string>{"a", "d"}))
      << "the entry without a description goes too";

  engine.OnGetFileList = [](TKavrel&, TStrings& lines) {
    for (std::string& line : lines) line.clear();
  };
  engine.ReadFileList();
  EXPECT_EQ(engine.SelectFiles(), -1);

  engine.OnGetFileList = [](TKavrel&, TStrings& lines) { lines.resize(1); };
  engine.ReadFileList();
  EXPECT_EQ(engine.SelectFiles(), 0);
  EXPECT_EQ(engine.Urls(), (std::vector<std::string>{"a", "c", "d"}))
      << "entries the handler said nothing about keep their own description";
}

TEST_F(FileSelectionTest, ConfirmationModes) {
  Publish("[files]\r\ncount=3\r\n" + SizeEntry(1, "http://h/one.exe", 9) +
          SizeEntry(2, "http://h/two.exe", 9) + SizeEntry(3, "http://h/three.exe", 9));
  engine.ReadFileList();
  using TDecision = TKavrel::TTransferDecision;
  auto walk = [&](TKavrelUpdate mode) {
    std::vector<std::string> transferred;
    for (std::size_t i = 0; i < engine.FileList.Count(); ++i) {
      const TDecision d = engine.ConfirmTransfer(mode, engine.FileList[i]);
      if (d == TDecision::Stop) break;
      if (d == TDecision::Transfer) transferred.push_back(engine.FileList[i].URL);
    }
    return transferred;
  };
  {
    TScopedScriptedUi answers({"no", "yes", "no"});
    EXPECT_EQ(walk(kvuPromptAll), std::vector<std::string>{"http://h/two.exe"});
    EXPECT_NE(answers.Shown().find("[question] Download update file : three.exe"),
              std::string::npos);
  }
  {
    TScopedScriptedUi answers({"yes", "no"});
    EXPECT_EQ(walk(kvuPromptOnce).size(), 3u);
    EXPECT_EQ(answers.AnswersLeft(), 1u) << "asked once";
  }
  {
    TScopedScriptedUi answers({"no"});
    EXPECT_TRUE(walk(kvuPromptOnce).empty());
  }
  {
    TScopedScriptedUi answers;
    EXPECT_EQ(walk(kvuSilent).size(), 3u);
    EXPECT_EQ(answers.Shown(), "");
  }
}

}  // namespace
}  // namespace kavrel::test
