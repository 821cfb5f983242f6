// The restart handoff: the engine's own steps where a test needs to see them
// (with a stand-in that records how it was started in place of the stub),
// the real stub the engine writes, and whole self-updates of a running
// application with real processes: host, stub and application.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <filesystem>

#include "CabinetImage.h"
#include "ChildProcess.h"
#include "Errors.h"
#include "Folders.h"
#include "IniDocument.h"
#include "Patch.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "Processes.h"
#include "RecordingEngine.h"
#include "StubHandoff.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "UserInterface.h"

namespace kavrel::test {
namespace {

using TLines = std::vector<std::string>;

const std::string kSep(1, platform::kNativeSeparator);

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// An engine whose "stub" records how it was started: on POSIX a script that
// records its parameter text, its folder, where its output goes and whether
// it got a descriptor of ours; on Windows the argument recorder, with its
// parameter text and folder (the handles it gets are tested with the
// programs the instructions start).
class THandoffEngine : public TRecordingEngine {
 public:
#ifdef _WIN32
  THandoffEngine(const std::string&, int) {}
  void DeployStub() override {
    ++deployed;
    if (runnable)
      CopyRecorder(GetTempDir() + kStubProgramName);
    else
      WriteFile(GetTempDir() + kStubProgramName, "no program");
  }
  bool runnable = true;
#else
  THandoffEngine(const std::string& record, int descriptor) {
    script = "printf '%s\\n' \"$1\" > " + record + "/parameters; pwd > " + record + "/folder; " +
             "o=$(readlink /proc/$$/fd/1); echo \"$o\" > " + record + "/output; " +
             "if [ -e /proc/$$/fd/" + std::to_string(descriptor) +
             " ]; then echo inherited; else echo none; fi > " + record + "/descriptor";
  }
  void DeployStub() override {
    ++deployed;
    WriteScript(GetTempDir() + kStubProgramName, script, runnable ? 0755 : 0644);
  }
  bool runnable = true;
  std::string script;
#endif
  void Configure(const std::string& name, const std::string& params, const std::string& comps,
                 bool silent) {
    AppName = name;
    AppParams = params;
    AppComps = comps;
    SilentRestart = silent;
  }
  int deployed = 0;
};

class RestartStepTest : public ::testing::Test {
 protected:
  RestartStepTest()
      : folder(app.File("My App")),
        home_("HOME", home.Path()),
        config_("XDG_CONFIG_HOME", home.File("none")),
        tmp_(temp.Path()),
#ifndef _WIN32
        descriptor(::open("/dev/null", O_RDONLY)),  // not closed on exec
#endif
        engine(record.Path(), descriptor) {
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(home.File("Documents"));
    here_.emplace(folder);
  }
#ifndef _WIN32
  ~RestartStepTest() override { ::close(descriptor); }
#endif

  std::string HandOffFile() const { return home.File("Documents/KAVREL.INI"); }
  // The stand-in's record of its parameter text, and of its folder.
#ifdef _WIN32
  TLines Recorded(const char* what) {
    const TLines lines = WaitForFileLines(temp.File("kvsetup.exe.line"), 2);
    if (lines.size() != 2) return {};
    return {lines[std::string(what) == "folder" ? 1 : 0]};
  }
#else
  TLines Recorded(const char* what) {
    WaitForFileLines(record.File("descriptor"), 1);
    return FileLines(record.File(what));
  }
#endif

  TTempDir app, home, temp, record;
  std::string folder;
  TScopedEnv home_, config_;
  TScopedTempFolder tmp_;
#ifdef _WIN32
  TScopedDocumentsFolder documents_{home.File("Documents")};
  int descriptor = -1;
#else
  int descriptor;
#endif
  std::optional<TScopedCurrentDir> here_;
  THandoffEngine engine;
};

TEST_F(RestartStepTest, CancelOrRefusalStartsNothing) {
  const struct {
    const char* what;
    std::function<void(THandoffEngine&)> setup;
    std::vector<std::string> answers;
    std::vector<int> idents;
  } cases[] = {
      {"cancelled",
       [](THandoffEngine& e) { e.OnProgressCancel = [](TKavrel&, bool& c) { c = true; }; },
       {"yes"},
       {959, 964}},
      {"handler refuses",
       [](THandoffEngine& e) { e.OnAppRestart = [](TKavrel&, bool& a) { a = false; }; },
       {"yes"},
       {959}},
      {"question answered No", [](THandoffEngine&) {}, {"no"}, {959}},
  };
  for (const auto& c : cases) {
    THandoffEngine fresh(record.Path(), descriptor);
    fresh.Configure("app.exe", " ", "app.exe_NEW", false);
    c.setup(fresh);
    bool closed = false;
    fresh.OnAppDoClose = [&closed](TKavrel&) { closed = true; };
    TScopedScriptedUi ui(c.answers);
    fresh.RestartApplication();
    EXPECT_EQ(fresh.Idents(), c.idents) << c.what;
    EXPECT_EQ(fresh.deployed, 0) << c.what;
    EXPECT_FALSE(closed) << c.what;
    EXPECT_FALSE(ReadFile(HandOffFile())) << c.what;
    EXPECT_EQ(
        ui.Shown().find("Shutdown application to update executable files ?") != std::string::npos,
        c.answers[0] == "no")
        << c.what << ": " << ui.Shown();
  }
}

TEST_F(RestartStepTest, HandsOverOnceWithItsCommandLineAndLeavesTheLogName) {
  WriteFile(HandOffFile(), "[Other]\r\nkey=kept\r\n[CONFIG]\r\nmine=1\r\nLOGFILENAME=old.log\r\n");
  engine.Configure("app.exe", " ", "app.exe_NEW data.inf", true);
  engine.SetLogFileName("custom.log");
  int closed = 0;
  engine.OnAppDoClose = [&closed](TKavrel&) { ++closed; };
  TScopedScriptedUi ui;  // a question would be answered No
  engine.RestartApplication();
  engine.RestartApplication();  // the launcher's and the driver's request

  const std::string line = std::to_string(platform::CurrentProcessId()) + " X \"" + folder + kSep +
                           "app.exe\" \" \" \"" + temp.File("") + "\" app.exe_NEW data.inf";
  EXPECT_EQ(engine.Idents(), (std::vector<int>{959, 958}));
  EXPECT_EQ(engine.Find(959)->Arg, folder);
  EXPECT_EQ(engine.Find(958)->Arg, line);
  EXPECT_EQ(engine.deployed, 1);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(Recorded("parameters"), TLines{line}) << "one text, as built";
  EXPECT_EQ(Recorded("folder"), TLines{folder});
#ifndef _WIN32
  EXPECT_EQ(FileLines(record.File("descriptor")), TLines{"none"});
  EXPECT_EQ(FileLines(record.File("output")), TLines{"/dev/null"});
#endif
  const TIniDocument ini = TIniDocument::Parse(ReadFile(HandOffFile()).value_or(""));
  EXPECT_EQ(ini.ReadString("CONFIG", "LOGFILENAME", ""), "custom.log");
  EXPECT_EQ(ini.ReadString("CONFIG", "mine", ""), "1");
  EXPECT_EQ(ini.ReadString("Other", "key", ""), "kept");
}

TEST_F(RestartStepTest, DownloadFolderLoggingAndTheRequestToEnd) {
  engine.Configure("bin/app.exe", "-a -b", "app.exe_NEW", false);
  engine.UseWinTempDir = false;
  engine.TempDirectory = ".";
  engine.Logging = true;
  bool asked = false;
  engine.OnAppRestart = [&asked](TKavrel&, bool& allow) { asked = allow; };  // preset True
  engine.RestartApplication();
  EXPECT_TRUE(asked);
  EXPECT_EQ(engine.Find(958)->Arg, std::to_string(platform::CurrentProcessId()) + " L \"" + folder +
                                       kSep + "bin/app.exe\" \"-a -b\" \".\" app.exe_NEW");
  // Without OnAppDoClose the application is asked to end.
  EXPECT_TRUE(platform::TerminateRequested());
  Recorded("folder");
}

TEST_F(RestartStepTest, StubThatCannotStartIsReportedAndTheApplicationStaysOpen) {
  bool closed = false;
  engine.OnAppDoClose = [&closed](TKavrel&) { closed = true; };
  // Parameters the stub would read otherwise than meant.
  engine.Configure("app.exe", "--title \"A\"", "app.exe_NEW", true);
  EXPECT_THROW(engine.RestartApplication(), platform::EInOutError);
  EXPECT_EQ(engine.deployed, 0);
  engine.Configure("app.exe", " ", "app.exe_NEW", true);
  engine.runnable = false;  // as on a temporary folder where nothing may run
  EXPECT_THROW(engine.RestartApplication(), platform::EInOutError);
  EXPECT_FALSE(closed);
  // Nothing was started, so a later request may try again.
  engine.runnable = true;
  engine.RestartApplication();
  EXPECT_TRUE(closed);
  EXPECT_EQ(engine.deployed, 2);
  Recorded("folder");
}

TEST(StubDeployment, TheStubIsTheBuiltProgramAndOnlyAWholeNewCopyCounts) {
  TTempDir temp;
  TScopedTempFolder tmp(temp.Path());
  TRecordingEngine engine;
  WriteFile(temp.File("kvsetup.exe"), "an older stub");
  engine.DeployStub();
  EXPECT_EQ(ReadFile(temp.File("kvsetup.exe")), ReadFile(KAVREL_STUB_STRIPPED_PATH));
#ifndef _WIN32
  EXPECT_EQ(ModeOf(temp.File("kvsetup.exe")) & 0100, 0100u);
#endif
  EXPECT_FALSE(ReadFile(temp.File("kvsetup.ex_")));

  // A stub that cannot be replaced is never started in place of a new one.
  std::filesystem::remove(temp.File("kvsetup.exe"));
  WriteFile(temp.File("kvsetup.exe/busy"), "");
  EXPECT_THROW(engine.DeployStub(), platform::EInOutError);
  EXPECT_FALSE(ReadFile(temp.File("kvsetup.ex_")));
}

// Whole self-updates: an application in a folder with a blank, a control file
// on the local HTTP server, a real host, the real stub.
class SelfUpdateTest : public ::testing::Test {
 protected:
  SelfUpdateTest() : server(www.Path()), folder(app.File("My App")) {
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(home.File("Documents"));
    std::filesystem::copy_file(KAVREL_TEST_APP1_PATH, Program());
    std::filesystem::copy_file(KAVREL_TEST_APP2_PATH, www.File("app.exe_NEW"));
  }

  void Publish(const std::string& application, const std::vector<std::string>& files) {
    std::vector<TSection> sections;
    for (const std::string& f : files) sections.push_back({"url=" + server.Url(f), "descr=" + f});
    WriteFile(
        www.File("update.ini"),
        ControlFile(sections, "[application]\r\nappupdate=1\r\nappname=app.exe\r\n" + application));
  }

  // Runs a host in the application's folder with the launcher's settings;
  // the temporary folder is the user's private one below `runtime`.
  TProgramResult Host(std::vector<std::string> args) {
    for (const char* p :
         {"UseWinTempDir=False", "TempDirectory=.", "UpdateUpdate=kvuSilent", "Logging=True"})
      args.insert(args.end(), {"-p", p});
    args.insert(args.end(), {"-p", "URL=" + server.Url("update.ini")});
#ifdef _WIN32
    // Windows names its folders itself: the temporary one comes from TMP, the
    // documents folder is redirected for the test, {SYS} is the system's.
    TEnvironment env = RunEnvironment({.Temp = runtime.Path()});
#else
    // No TMPDIR: the temporary folder is the user's own below XDG_RUNTIME_DIR.
    TEnvironment env = RunEnvironment({.Home = home.Path(), .Hives = hives.Path()});
    env.insert(env.end(), {{"XDG_CONFIG_HOME", home.File(".config")},
                           {"TMPDIR", ""},
                           {"XDG_RUNTIME_DIR", runtime.Path()},
                           {"KAVREL_SYSDIR", sys.Path()}});
#endif
    env.emplace_back("KAVREL_TEST_RECORD", record.File("record"));
    return RunProgram(args, folder, env);
  }

  // The user's own temporary folder the handoff's files go to.
#ifdef _WIN32
  std::string PrivateTemp() const { return runtime.Path(); }
#else
  std::string PrivateTemp() const { return runtime.File("kavrel-" + std::to_string(::geteuid())); }
#endif
  TLines Log() const { return FileLines(home.File("Documents/KAVREL.LOG")); }
  std::string Program() const { return folder + kSep + "app.exe"; }

  TTempDir www, app, home, runtime, hives, sys, record;
  THttpTestServer server;
  std::string folder;
  TScopedRunFolders folders{home.File("Documents"), sys.Path()};
};

TEST_F(SelfUpdateTest, RunningApplicationIsReplacedAfterItsHostEndedAndRestarted) {
  Publish("appparam=first second\r\nappcomps=app.exe_NEW\r\n", {"app.exe_NEW"});
  const std::string witness = record.File("at-exit");
  const TProgramResult r =
      Host({KAVREL_HANDOFF_HOST_PATH, "1500", witness, Program(), "--answers", "yes"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(Count(r.Out, "[959]"), 1u) << r.Out;
  EXPECT_EQ(Count(r.Out, "[958]"), 1u) << "one stub per run";
  EXPECT_EQ(Count(r.Out, "[close]"), 1u);
  EXPECT_EQ(Count(r.Err, "Shutdown application to update executable files ?"), 1u) << r.Err;
  // The stub waited: when the host ended 1.5 s after starting it, the old
  // program was still in place.
  EXPECT_EQ(ReadFile(witness), ReadFile(KAVREL_TEST_APP1_PATH));

  const TLines runs = WaitForFileLines(record.File("record"), 1);
  ASSERT_EQ(runs.size(), 1u);
  const std::vector<std::string> run = TabFields(runs[0]);
  EXPECT_EQ(run, (std::vector<std::string>{"2", run[1], folder, "first second"}));
  EXPECT_EQ(ReadFile(Program()), ReadFile(KAVREL_TEST_APP2_PATH));
  EXPECT_FALSE(ReadFile(home.File("Documents/KAVREL.INI"))) << "taken by the stub";
#ifndef _WIN32
  EXPECT_EQ(ModeOf(Program()), 0755u) << "still executable";
  EXPECT_EQ(ModeOf(PrivateTemp()), 0700u);
  EXPECT_EQ(ModeOf(PrivateTemp() + "/kvsetup.exe") & 0100, 0100u);
#endif
  const TLines log = Log();
  const auto logged = [&log](const std::string& message) {
    return std::count_if(log.begin(), log.end(), [&](const std::string& l) {
      return l.size() > message.size() &&
             l.compare(l.size() - message.size(), message.size(), message) == 0;
    });
  };
  EXPECT_EQ(logged(" : [000] upd v2.0.3.4"), 1);
  EXPECT_EQ(logged(" : [000] Upd copying file : ." + kSep + "app.exe_NEW to " + Program()), 1);
  EXPECT_EQ(logged(" : [000] Upd restart " + Program() + " first second"), 1);
}

TEST_F(SelfUpdateTest, ListFileCopiesALibraryIntoTheSystemFolderAndExtractsACabinet) {
  WriteFile(www.File("data.inf"),
            "[FILES]\r\nCOUNT=2\r\nFILE1=lib.dll_NEW\r\nTARGET1={SYS}\r\n"
            "FILE2=data.cab\r\nTARGET2={APP}\\data\r\n");
  WriteFile(www.File("lib.dll_NEW"), "new library");
  WriteFile(www.File("data.cab"), StoredCabinet({{"readme.txt", "read me"}}));
  const std::string library = folders.System() + kSep + "lib.dll";
  WriteFile(library, "old library");
  Publish("appcomps=app.exe_NEW data.inf\r\nsilentrestart=1\r\n",
          {"app.exe_NEW", "data.inf", "lib.dll_NEW", "data.cab"});
  // kavrel run as the host: asked to close, it finishes the run and ends.
  const TProgramResult r = Host({KavrelProgram(), "run"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(Count(r.Out, "[958]"), 1u) << r.Out;
  const TLines runs = WaitForFileLines(record.File("record"), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(TabFields(runs[0]).size(), 3u) << "no parameters: " << runs[0];
  // A stub with raised rights (every program has them under Wine) takes no
  // folder outside the installation from a list, a file the user can write.
  EXPECT_EQ(ReadFile(library), platform::RunsElevated() ? "old library" : "new library");
  EXPECT_EQ(ReadFile(folder + "/data/readme.txt"), "read me");
  EXPECT_FALSE(ReadFile(folder + "/data.cab"));
  EXPECT_EQ(ReadFile(Program()), ReadFile(KAVREL_TEST_APP2_PATH));
#ifdef _WIN32
  std::remove(library.c_str());  // the system's own folder
#endif
}

TEST_F(SelfUpdateTest, APatchedApplicationIsPatchedByTheStubOrLeftWholeWhenItIsNotTheOldOne) {
  // The patch turns version 1 into version 2; the run writes out the utility
  // it carries, and the stub applies the patch to "app.EXE", found as app.exe.
  ASSERT_TRUE(delta::MakePatch(KAVREL_TEST_APP1_PATH, KAVREL_TEST_APP2_PATH, www.File("app.pat"))
                  .Succeeded());
  Publish("appcomps=app.pat\r\nsilentrestart=1\r\n", {"app.pat"});
  for (const std::size_t round : {1, 2}) {
    const TProgramResult r = Host({KavrelProgram(), "run", "-p", "ApplyPatch=True"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const TLines runs = WaitForFileLines(record.File("record"), round);
    ASSERT_EQ(runs.size(), round);
    EXPECT_EQ(TabFields(runs.back())[0], "2") << "restarted as the new version";
    EXPECT_EQ(ReadFile(Program()), ReadFile(KAVREL_TEST_APP2_PATH));
    // The second time the program is no longer the one the patch is for:
    // it stays whole, and so does the patch, with a log line.
    const TLines log = Log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) {
                              return l.find("Upd patch failed") != std::string::npos;
                            }),
              round == 1 ? 0 : 1);
    EXPECT_EQ(ReadFile(folder + kSep + "app.pat").has_value(), round == 2);
  }
}

TEST_F(SelfUpdateTest, StubThatCannotBeWrittenStartsNothingAndIsReported) {
  Publish("appcomps=app.exe_NEW\r\nsilentrestart=1\r\n", {"app.exe_NEW"});
  std::filesystem::create_directories(PrivateTemp() + "/kvsetup.exe/in-use");
#ifndef _WIN32
  ::chmod(PrivateTemp().c_str(), 0700);
#endif
  // The handoff is asked for at message 948, in the middle of the run.
  const TProgramResult r = Host({KAVREL_HANDOFF_HOST_PATH, "0", record.File("at-exit"), Program()});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(
      r.Err.find("handoff-host: Cannot write the updater " + PrivateTemp() + kSep + "kvsetup.exe"),
      std::string::npos)
      << r.Err;
  EXPECT_EQ(Count(r.Out, "[958]"), 0u);
  EXPECT_NE(r.Out.find("[949]", r.Out.find("[959]")), std::string::npos) << "closed all the same";
  EXPECT_FALSE(ReadFile(PrivateTemp() + kSep + "update.ini")) << "the control file's copy goes";
  EXPECT_FALSE(ReadFile(home.File("Documents/KAVREL.INI")));
  EXPECT_EQ(ReadFile(folder + kSep + "app.exe_NEW"), ReadFile(KAVREL_TEST_APP2_PATH))
      << "the component waits for a later handoff";
  EXPECT_EQ(ReadFile(Program()), ReadFile(KAVREL_TEST_APP1_PATH));
}

}  // namespace
}  // namespace kavrel::test
