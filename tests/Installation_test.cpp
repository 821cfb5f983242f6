// Whole installations: kavrel runs against the local HTTP server that fetch
// plain files, LZ files, cabinets and patches and put them in place, and the
// engine's own installation step where a test needs its events.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "CabinetImage.h"
#include "ChildProcess.h"
#include "Errors.h"
#include "Files.h"
#include "InstallationRun.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "RecordingEngine.h"
#include "SzddCompress.h"
#include "TestServers.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

class InstallationTest : public TInstallationRun {};

#ifdef _WIN32
// The command interpreter, whose command "exit N" ends it with code N.
const std::string kShell = "cmd.exe /c";
const std::string kTrue = kShell + " \"exit 0\"";
#else
const std::string kShell = "/bin/sh -c";
const std::string kTrue = "/bin/true";
#endif

TEST_F(InstallationTest, PlainFilesReplaceTheOldOnesStraightOrThroughTheTemporaryFolder) {
  for (const bool throughTemp : {false, true}) {
    WriteFile(app.File("bin/tool.dat"), "old tool");
#ifndef _WIN32  // permission bits are POSIX's
    ASSERT_EQ(::chmod(app.File("bin/tool.dat").c_str(), 0750), 0);
#endif
    std::remove(app.File("bin/new.dat").c_str());
    Publish({{"url=" + server.Url("gen/3000/tool.dat"), "targetdir=" + app.File("bin")},
             {"url=" + server.Url("gen/10/new.dat"), "targetdir=" + app.File("bin")}});
    const TProgramResult r =
        Run({std::string("UseWinTempDir=") + (throughTemp ? "True" : "False")});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFile(app.File("bin/tool.dat")), GeneratedBytes(3000)) << throughTemp;
#ifndef _WIN32
    EXPECT_EQ(ModeOf(app.File("bin/tool.dat")), 0750u) << "the old file's permissions";
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(ModeOf(app.File("bin/new.dat")), 0666u & ~mask) << "a new file's usual permissions";
#endif
    EXPECT_NE(r.Out.find("[948]"), std::string::npos) << r.Out;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << throughTemp;
  }
}

TEST_F(InstallationTest, CompressedFileIsExpandedInTheCurrentFolder) {
  WriteFile(www.File("notes.tx_"), *SzddCompress("the release notes\n", 't'));
  Publish({{"url=" + server.Url("notes.tx_"), "compressed=1"}});
  for (const char* throughTemp : {"False", "True"}) {
    WriteFile(app.File("notes.txt"), "old notes");  // each round starts from the old file
    const TProgramResult r = Run({"ExtractCAB=True", std::string("UseWinTempDir=") + throughTemp});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFile(app.File("notes.txt")), "the release notes\n") << throughTemp;
    EXPECT_FALSE(ReadFile(app.File("notes.tx_"))) << throughTemp;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << throughTemp;
  }
  // Without ExtractCAB the file is fetched and left as it came.
  const TProgramResult r = Run({"UseWinTempDir=False"});
  EXPECT_EQ(ReadFile(app.File("notes.tx_")), SzddCompress("the release notes\n", 't'));
}

TEST_F(InstallationTest, AnLzFileExpandsIntoItsOwnTargetAndNeverCostsTheOldFile) {
  const std::string packed = *SzddCompress("the release notes\n", 't');
  WriteFile(www.File("notes.tx_"), packed);
  // Named as its own expansion, and cut short: it cannot expand.
  WriteFile(www.File("notes.txt"), packed.substr(0, packed.size() - 4));
  struct TCase {
    const char* what;
    TSection entry;
    std::string target, report;
  };
  const std::vector<TCase> cases = {
      {"into the current folder",
       {"url=" + server.Url("notes.tx_"), "compressed=1"},
       app.File("notes.txt"),
       ""},
      {"into its target folder",
       {"url=" + server.Url("notes.tx_"), "compressed=1", "targetdir=" + app.File("doc")},
       app.File("doc/notes.txt"),
       ""},
      {"a damaged file named as its expansion",
       {"url=" + server.Url("notes.txt"), "compressed=1"},
       app.File("notes.txt"),
       "[984] Error expanding LZ file : notes.txt (Status:8)"},
  };
  for (const TCase& c : cases) {
    for (const char* throughTemp : {"False", "True"}) {
      SCOPED_TRACE(std::string(c.what) + ", UseWinTempDir=" + throughTemp);
      // The folder's contents, not the folder: Windows may still hold it for
      // the run that just ended.
      for (const auto& entry : std::filesystem::directory_iterator(app.Path()))
        std::filesystem::remove_all(entry.path());
      std::filesystem::create_directories(app.File("doc"));
      WriteFile(app.File("notes.txt"), "old notes");
      WriteFile(app.File("doc/notes.txt"), "old doc notes");
      Publish({c.entry});
      const TProgramResult r =
          Run({"ExtractCAB=True", std::string("UseWinTempDir=") + throughTemp});
      const bool fails = !c.report.empty();
      ASSERT_EQ(r.ExitCode, fails ? 1 : 0) << r.Err;
      EXPECT_EQ(ReadFile(c.target), fails ? "old notes" : "the release notes\n") << r.Out;
      EXPECT_EQ(r.Out.find(fails ? c.report : "[984]") != std::string::npos, fails) << r.Out;
      // Nothing else is written: the other file of that name stays.
      for (const std::string& other : {app.File("notes.txt"), app.File("doc/notes.txt")})
        EXPECT_TRUE(other == c.target || ReadFile(other)->rfind("old", 0) == 0) << other;
      EXPECT_EQ(FilesBelow(app.Path()), (std::vector<std::string>{"doc/notes.txt", "notes.txt"}));
      EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    }
  }
}

TEST_F(InstallationTest, TheHandoffAndTheFinishComeOnlyWithAWholeUpdate) {
  WriteFile(www.File("app.exe_NEW"), "new program");
  const std::string application =
      "[application]\r\nappupdate=1\r\nappname=app.exe\r\nsilentrestart=1\r\n";
  const TSection program = {"url=" + server.Url("app.exe_NEW")};
  const TSection data = {"url=" + server.Url("gen/10/data.bin"), "targetdir=" + app.Path()};
  const std::string sep(1, platform::kNativeSeparator);
  struct TCase {
    const char* what;
    std::vector<TSection> files;
    std::string extra;
    std::vector<std::string> properties, present, absent;
  };
  const std::vector<TCase> cases = {
      {"one of two components fails",
       {program, {"url=" + server.Url("status-404/tool.dll_NEW")}},
       application + "appcomps=app.exe_NEW tool.dll_NEW\r\n",
       {},
       {"[946]", "[986] Update not fully applied"},
       {"[958]", "[948]"}},
      {"a double quote in the parameters",
       {data, program},
       application + "appcomps=app.exe_NEW\r\nappparam=say \"hi\"\r\n",
       {},
       {"[985] Update refused : the updater cannot be handed a double quote"},
       {"[943]", "[958]", "[948]"}},
      {"an empty TempDirectory",
       {program},
       application + "appcomps=app.exe_NEW\r\n",
       {"UseWinTempDir=False", "TempDirectory="},
       {"[948]", "\"" + app.Path() + sep + "\" app.exe_NEW (Status:0)"},
       {"[986]"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(app.File("data.bin").c_str());
    Publish(c.files, c.extra);
    const TProgramResult r = Run(c.properties);
    // Not fully applied (986) or refused (985): a failure.
    const bool failed = std::any_of(c.present.begin(), c.present.end(), [](const std::string& t) {
      return t.starts_with("[986]") || t.starts_with("[985]");
    });
    ASSERT_EQ(r.ExitCode, failed ? 1 : 0) << r.Out;
    for (const std::string& text : c.present)
      EXPECT_NE(r.Out.find(text), std::string::npos) << text << "\n" << r.Out;
    for (const std::string& text : c.absent)
      EXPECT_EQ(r.Out.find(text), std::string::npos) << text << "\n" << r.Out;
    // Only the refused update names it: refused before anything is installed.
    EXPECT_FALSE(ReadFile(app.File("data.bin")));
  }
}

TEST_F(InstallationTest, ASweepOfLeftoversNeverTakesAFileAnotherRunHolds) {
  // Another run's temporary file, old and still being written (held open and
  // locked), beside a leftover of a run that was killed.
  std::string held, left;
  auto holding = platform::TFile::CreateTemporary(temp.Path(), "KAVR", held);
  ASSERT_TRUE(holding);
  holding->Write("in the middle of a transfer");
  { ASSERT_TRUE(platform::TFile::CreateTemporary(temp.Path(), "KAVR", left)); }
  AgeEntriesBelow(temp.Path());
  Publish({{"url=" + server.Url("gen/10/new.dat"), "targetdir=" + app.Path()}});
  const TProgramResult r = Run({"UseWinTempDir=True"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(ReadFile(held)) << "the held file stays";
  EXPECT_FALSE(ReadFile(left)) << "the leftover goes";
}

TEST_F(InstallationTest, CabinetsMarkedCompressedAreExtractedAndOthersLeftAlone) {
  TTempDir src;
  WriteFile(src.File("readme.txt"), "read me");
  WriteFile(src.File("sounds/ding.wav"), std::string(50000, 'd'));
  MakeCabinetWithGcab(src.Path(), www.File("data.cab"), {"readme.txt", "sounds/ding.wav"}, true);
  WriteFile(www.File("other.cab"), ReadFile(www.File("data.cab")).value());
  WriteFile(www.File("broken.cab"), "this is no cabinet");
  Publish({{"url=" + server.Url("data.cab"), "compressed=1", "targetdir=" + app.File("data")},
           {"url=" + server.Url("other.cab"), "targetdir=" + app.File("data")},
           {"url=" + server.Url("broken.cab"), "compressed=1", "targetdir=" + app.File("data")}});
  const TProgramResult r = Run({"ExtractCAB=True"});
  ASSERT_EQ(r.ExitCode, 1) << "the broken cabinet fails the run: " << r.Err;
  // The files extracted before it go with the rest of the update.
  EXPECT_FALSE(ReadFile(app.File("data/readme.txt")));
  EXPECT_FALSE(ReadFile(app.File("data/sounds/ding.wav")));
  EXPECT_NE(r.Out.find("[988] Update rolled back : "), std::string::npos) << r.Out;
  // The cabinet not marked compressed and the broken one stay where they
  // were fetched; only the broken one is reported, by its path in the
  // system's own form (Windows separates with backslashes).
  const auto native = [this](const char* name) {
    return std::filesystem::path(temp.File(name)).make_preferred().string();
  };
  EXPECT_EQ(FilesBelow(temp.Path()), (std::vector<std::string>{"broken.cab", "other.cab"}));
  EXPECT_NE(r.Out.find("[947] Error decompressing CAB file : " + native("broken.cab") +
                       " (Status:8) (Error:0)"),
            std::string::npos)
      << r.Out;
  EXPECT_EQ(r.Out.find("[947] Error decompressing CAB file : " + native("data.cab")),
            std::string::npos);
  EXPECT_NE(r.Out.find("[986]"), std::string::npos) << "not reported as finished: " << r.Out;
}

TEST_F(InstallationTest, APublishersOwnPatchUtilityGetsEveryPathWholeAndItsFailureCounts) {
  // A "patcher.exe" that is not ours stays and is used: it records its
  // arguments a line each. On POSIX it arrived without permission to run and
  // fails; the Windows recorder succeeds.
#ifdef _WIN32
  CopyRecorder(app.File("patcher.exe"));
  const std::string record = app.File("patcher.exe.out");
  const bool fails = false;
#else
  WriteFile(app.File("patcher.exe"), "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"" +
                                         app.File("args.txt") + "\"\nexit 3\n");
  ASSERT_EQ(::chmod(app.File("patcher.exe").c_str(), 0644), 0);
  const std::string record = app.File("args.txt");
  const bool fails = true;
#endif
  const std::string utility = ReadFile(app.File("patcher.exe")).value();
  WriteFile(www.File("app.pat"), "patch data");
  Publish({{"url=" + server.Url("app.pat"), "targetdir=" + app.Path(),
            "localversion=" + app.File("my app.exe")}});
  for (const bool logging : {false, true}) {
    const TProgramResult r =
        Run({"ApplyPatch=True", "UseWinTempDir=False", logging ? "Logging=True" : "Logging=False",
             "LogFileName=" + app.File("update.log")});
    ASSERT_EQ(r.ExitCode, fails ? 1 : 0) << r.Err;
    const std::string paths = app.File("app.pat") + "\n" + app.File("my app.exe") + "\n";
    EXPECT_EQ(ReadFile(record),
              logging ? "-v\n" + paths + ">>\n" + app.File("update.log") + "\n" : paths);
    EXPECT_EQ(ReadFile(app.File("patcher.exe")), utility) << "the publisher's utility stays";
    EXPECT_EQ(ReadFile(app.File("app.pat")).has_value(), fails) << "a failed patch stays";
    EXPECT_EQ(r.Out.find("[987] Patch not applied : " + app.File("app.pat")) != std::string::npos,
              fails)
        << r.Out;
    EXPECT_EQ(r.Out.find("[986]") != std::string::npos, fails) << r.Out;
  }
}

TEST_F(InstallationTest, OneFailedDownloadIsReportedAndTheWholeUpdateRolledBack) {
  Publish({{"url=" + server.Url("gen/5/a.dat"), "targetdir=" + app.Path()},
           {"url=" + server.Url("missing/b.dat"), "targetdir=" + app.Path()},
           {"url=" + server.Url("gen/7/c.dat"), "targetdir=" + app.Path()}});
  WriteFile(app.File("a.dat"), "old a");
  const TProgramResult r = Run({});
  ASSERT_EQ(r.ExitCode, 1) << r.Err;
  // Every file as it was: the replaced one back, the new one gone, no backup.
  EXPECT_EQ(FilesBelow(app.Path()), std::vector<std::string>{"a.dat"});
  EXPECT_EQ(ReadFile(app.File("a.dat")), "old a");
  EXPECT_NE(r.Out.find("[988] Update rolled back : " + server.Url("update.ini") +
                       ": every file is as it was"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("[946] Cannot download update file : " + server.Url("missing/b.dat") +
                       " (Status:2) (Error:0)"),
            std::string::npos)
      << r.Out;
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(InstallationTest, ConfirmationModesAskAsConfigured) {
  Publish({{"url=" + server.Url("gen/1/one.dat"), "targetdir=" + app.Path()},
           {"url=" + server.Url("gen/2/two.dat"), "targetdir=" + app.Path()},
           {"url=" + server.Url("gen/3/three.dat"), "targetdir=" + app.Path()}});
  TProgramResult r = Run({"UpdateUpdate=kvuPromptAll"}, "no,yes,no");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(FetchedPaths(), std::vector<std::string>{"/gen/2/two.dat"});
  EXPECT_NE(r.Err.find("[question] Download update file : three.dat"), std::string::npos) << r.Err;
  EXPECT_EQ(FilesBelow(app.Path()), std::vector<std::string>{"two.dat"});

  server.ClearRequests();
  r = Run({"UpdateUpdate=kvuPromptOnce"}, "no");
  ASSERT_EQ(r.ExitCode, 4) << "declined, not finished: " << r.Err;
  EXPECT_EQ(FetchedPaths(), std::vector<std::string>{});
  EXPECT_EQ(r.Out.find("[948]"), std::string::npos) << r.Out;
  EXPECT_NE(r.Err.find("[question] Download update files ?"), std::string::npos) << r.Err;

  r = Run({"UpdateUpdate=kvuPromptOnce"}, "yes");
  EXPECT_EQ(FilesBelow(app.Path()), (std::vector<std::string>{"one.dat", "three.dat", "two.dat"}));
  EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '?'), 1) << "asked once: " << r.Err;
}

TEST_F(InstallationTest, ApplicationComponentStaysInTheDownloadFolder) {
  WriteFile(app.File("app.exe"), "running program");
  Publish({{"url=" + server.Url("gen/9/app.exe_NEW"), "targetdir=" + app.File("elsewhere")}},
          "[application]\r\nappupdate=1\r\nappname=app.exe\r\nappcomps=APP.EXE_NEW data.inf\r\n");
  const TProgramResult r = Run({"UseWinTempDir=False"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("[962] Found application component : app.exe_NEW (Status:0) (Error:0)"),
            std::string::npos)
      << r.Out;
  EXPECT_EQ(ReadFile(app.File("elsewhere/app.exe_NEW")), GeneratedBytes(9));
  EXPECT_EQ(ReadFile(app.File("app.exe")), "running program");
}

// The installation step itself, for what only an event handler sees.
class InstallStepTest : public InstallationTest {
 protected:
  void SetUp() override {
    engine.URL = server.Url("update.ini");
    engine.UpdateUpdate = kvuSilent;
    engine.UseWinTempDir = false;
    ASSERT_EQ(engine.OpenConnection(), 0);
  }
  void TearDown() override { engine.CloseConnection(); }
  void Add(const std::string& url) {
    TFileDescription& entry = engine.FileList.Add();
    entry.URL = url;
    entry.Description = "file " + std::to_string(engine.FileList.Count());
    entry.TargetDir = AddBackslash(app.Path());
  }

  // The step's update journal goes to a temporary folder of the test's own:
  // in the user's, it would be the journal of every in-process run whose
  // current folder is the tests' folder.
  TScopedTempFolder tmp{temp.Path()};
  TScopedScriptedUi ui;
  TRecordingEngine engine;
};

TEST_F(InstallStepTest, HandlerSeesOneBasedIndexAndChangesOnlyTheTransfer) {
  Add(server.Url("gen/4/first.dat"));
  Add(server.Url("gen/6/second.dat"));
  std::vector<std::string> seen;
  engine.OnBeforeFileDownload = [&](TKavrel& sender, int index, const std::string& description,
                                    std::string& url) {
    seen.push_back(std::to_string(index) + " " + description + " active " +
                   std::to_string(sender.FileList.ActiveIndex));
    if (index == 2) url = server.Url("gen/8/second.dat");
  };
  EXPECT_EQ(engine.InstallFiles(), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"1 file 1 active 0", "2 file 2 active 1"}));
  EXPECT_EQ(ReadFile(app.File("second.dat")), GeneratedBytes(8));
}

TEST_F(InstallStepTest, CancelledTransferFailsEveryLaterEntry) {
  Add(server.Url("gen/300000/big.dat"));
  Add(server.Url("gen/5/after.dat"));
  Add(server.Url("gen/5/last.dat"));
  engine.OnProgressCancel = [](TKavrel&, bool& cancel) { cancel = true; };
  EXPECT_EQ(engine.InstallFiles(), -1);
  std::vector<std::string> failed;
  for (const TStatusRecord& s : engine.statuses)
    if (s.Ident == 946) failed.push_back(s.Arg);
  EXPECT_EQ(failed, (std::vector<std::string>{server.Url("gen/300000/big.dat"),
                                              server.Url("gen/5/after.dat"),
                                              server.Url("gen/5/last.dat")}));
  EXPECT_EQ(FilesBelow(app.Path()), std::vector<std::string>{});
}

TEST_F(InstallStepTest, ExecuteAndWaitTellsTheExitCode) {
  platform::SetLastError(0);
  EXPECT_TRUE(engine.ExecuteAndWait(kShell + " \"exit 0\"", true, false, "", ""));
  EXPECT_FALSE(engine.ExecuteAndWait(kShell + " \"exit 3\"", true, false, "", ""));
  EXPECT_EQ(platform::GetLastError(), 8195);
  EXPECT_FALSE(engine.ExecuteAndWait("no-such-program-here", false, false, "", ""));
  const TStatusRecord* exec = engine.Find(18);
  ASSERT_NE(exec, nullptr);
  EXPECT_EQ(exec->Arg, "Exec: " + kShell + " \"exit 0\"");
  EXPECT_EQ(exec->StatusCode, 3);
  // The animation is shown through the user interface, with the caption.
  EXPECT_TRUE(engine.ExecuteAndWait(kTrue, false, true, "Patching", "Please wait"));
  EXPECT_NE(ui.Shown().find("[animation] Patching"), std::string::npos) << ui.Shown();
}

TEST(ForceFolderTest, CreatesEveryMissingFolderAbove) {
  TTempDir dir;
  EXPECT_TRUE(ForceFolder(dir.File("a/b/c/")));
  EXPECT_TRUE(DirExists(dir.File("a/b/c")));
  EXPECT_TRUE(ForceFolder(""));
  EXPECT_TRUE(ForceFolder("C:"));
  EXPECT_TRUE(ForceFolder("/"));
  TScopedCurrentDir here(dir.Path());
  EXPECT_TRUE(ForceFolder("ab\\cd\\"));  // short relative names are folders too
  EXPECT_TRUE(DirExists(dir.File("ab/cd")));
  WriteFile(dir.File("file"), "x");
  EXPECT_FALSE(ForceFolder("file\\below"));
}

// Addresses whose local names agree ("ctl.php?id=7", "news.php?id=7" and
// "eula.php?id=7" are all "id=7"): the texts never replace the control file's
// copy, so the update still happens.
TEST_F(InstallationTest, TextsNamedLikeTheControlFileLeaveItsCopyAlone) {
  WriteFile(www.File("news.php"), "What is new\r\n");
  WriteFile(www.File("eula.php"), "The licence\r\n");
  WriteFile(www.File("ctl.php"),
            "[update]\r\nunconditional=1\r\n[whatsnew]\r\nfile=" + server.Url("news.php?id=7") +
                "\r\n[eula]\r\nfile=" + server.Url("eula.php?id=7") + "\r\n[files]\r\ncount=1\r\n" +
                "[file1]\r\nurl=" + server.Url("gen/5/new.dat") + "\r\ntargetdir=" + app.Path() +
                "\r\n");
  const TProgramResult r = Run({"URL=" + server.Url("ctl.php?id=7")}, "ok,accept");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Err.find("What is new"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("The licence"), std::string::npos) << r.Err;
  EXPECT_EQ(ReadFile(app.File("new.dat")), GeneratedBytes(5)) << r.Out;
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

}  // namespace
}  // namespace kavrel::test
