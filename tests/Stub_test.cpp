// The updater stub kvsetup.exe as the real program: started on a command line
// in an application folder, with the environment the engine's host gives it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <regex>
#include <tuple>

#include "CabinetImage.h"
#include "ChildProcess.h"
#include "Files.h"
#include "Folders.h"
#include "PathNames.h"
#include "ProcessFile.h"
#include "Processes.h"
#include "Sha256.h"
#include "StubHandoff.h"
#include "StubMain.h"
#include "SzddCompress.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

using TLines = std::vector<std::string>;

const std::string kSep(1, platform::kNativeSeparator);

class StubTest : public ::testing::Test {
 protected:
  StubTest() {
    std::filesystem::create_directories(home.File("Documents"));
    source = src.File("");
  }

  TProgramResult Stub(const std::string& line, const std::string& folder = "") {
    return RunWithParameterText(KAVREL_STUB_PATH, line, folder.empty() ? app.Path() : folder,
                                Environment());
  }
  TEnvironment Environment() const {
    TEnvironment env =
        RunEnvironment({.Temp = temp.Path(), .Home = home.Path(), .Hives = hives.Path()});
#ifndef _WIN32
    // The folders Windows names itself (there the documents folder is
    // redirected for the test, and the system folders are the system's own).
    env.insert(env.end(), {{"XDG_CONFIG_HOME", home.File(".config")},
                           {"KAVREL_SYSDIR", sys.Path()},
                           { "KAVREL_WINDIR",
                             win.Path() }});
#endif
    env.emplace_back("KAVREL_TEST_RECORD", record.File("record"));
    return env;
  }
  // "0 L null \" \" \"<source>\" " followed by the file names.
  TProgramResult Work(const std::string& files, const std::string& logging = "L") {
    return Stub("0 " + logging + " null \" \" \"" + source + "\" " + files);
  }

  std::string LogPath() const { return home.File("Documents/KAVREL.LOG"); }
  // The log's messages: each line's text after its time stamp, which is checked.
  TLines Messages() const {
    TLines messages;
    static const std::regex stamp(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d : \[000\] )");
    for (const std::string& line : FileLines(LogPath())) {
      std::smatch m;
      EXPECT_TRUE(std::regex_search(line, m, stamp)) << line;
      messages.push_back(m.suffix());
    }
    return messages;
  }
  TLines Header() const { return {kavrel::stub::kStubVersionLine, "Upd cur dir : " + app.Path()}; }
  static TLines Join(TLines a, const TLines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }

  TTempDir home, temp, sys, win, hives, src, app, record;
  std::string source;
  TScopedRunFolders folders{home.File("Documents"), sys.Path()};
};

TEST_F(StubTest, PendingCopyReplacesTheTargetInOneStepAndKeepsItsPermissions) {
  for (const char* logging : {"L", "X", "l"}) {
    SCOPED_TRACE(logging);
    std::remove(LogPath().c_str());
    WriteFile(app.File("app.exe"), "old program");
    WriteFile(src.File("app.exe_NEW"), "new program");
    WriteFile(src.File("tool.bin_new"), "new tool");  // found whatever the suffix's case
#ifndef _WIN32  // POSIX replaces a file that is open; Windows refuses, so the stub waits first
    ASSERT_EQ(::chmod(app.File("app.exe").c_str(), 0750), 0);
    const int held = ::open(app.File("app.exe").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
#endif

    const TProgramResult r = Work("app.exe_NEW gone.dll_NEW tool.bin_NEW", logging);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFile(app.File("app.exe")), "new program");
    EXPECT_EQ(ReadFile(app.File("tool.bin")), "new tool");
    EXPECT_EQ(ReadFile(src.File("app.exe_NEW")), "new program") << "the pending file stays";
    EXPECT_FALSE(ReadFile(app.File("gone.dll")));
#ifndef _WIN32
    EXPECT_EQ(ModeOf(app.File("app.exe")), 0750u);
    // The old file was replaced, not rewritten: whoever had it open still
    // reads it whole.
    char old[32] = {};
    EXPECT_EQ(::pread(held, old, sizeof old, 0), 11);
    EXPECT_EQ(std::string(old), "old program");
    ::close(held);
#endif

    if (std::string(logging) == "L")
      EXPECT_EQ(Messages(),
                Join(Header(),
                     {"Upd copying file : " + source + "app.exe_NEW to " + app.File("app.exe"),
                      "Upd copying file : " + source + "tool.bin_NEW to " + app.File("tool.bin")}));
    else
      EXPECT_FALSE(ReadFile(LogPath())) << "no log without \"L\"";
    EXPECT_FALSE(ReadFile(record.File("record"))) << "\"null\" starts nothing";
  }
}

TEST_F(StubTest, AfterASignedRunOnlyWhatTheRunVerifiedIsInstalledOrRun) {
  WriteFile(app.File("app.exe"), "old program");
  WriteFile(app.File("tool.bin"), "old tool");
  WriteFile(src.File("app.exe_NEW"), "new program");
  WriteFile(src.File("tool.bin_NEW"), "changed after the run's check");
  WriteFile(src.File("extra.dll_NEW"), "never verified");
  WriteFile(src.File("setup.exe"), "changed program");
  const auto handOff = [&](const std::string& verified) {
    WriteFile(home.File("Documents/KAVREL.INI"),
              "[CONFIG]\r\nLOGFILENAME=KAVREL.LOG\r\n" + verified +
                  "[SHA256]\r\n1=" + trust::Sha256Hex("new program") +
                  " APP.EXE_new\r\n2=" + trust::Sha256Hex("new tool") +
                  " tool.bin_NEW\r\n3=" + trust::Sha256Hex("a program") + " setup.exe\r\n");
  };
  // Each file that is not the verified one fails the update, and what was
  // installed before it goes back.
  for (const char* files : {"app.exe_NEW tool.bin_NEW", "extra.dll_NEW", "setup.exe"}) {
    handOff("VERIFIED=1\r\n");
    EXPECT_EQ(Work(files).ExitCode, 0);
  }
  EXPECT_EQ(ReadFile(app.File("app.exe")), "old program");
  EXPECT_EQ(ReadFile(app.File("tool.bin")), "old tool");
  EXPECT_FALSE(ReadFile(app.File("extra.dll")));
  EXPECT_FALSE(ReadFile(record.File("record"))) << "the changed program does not run";
  const TLines messages = Messages();
  for (const std::string& line :
       {"Upd verification failed : " + source + "tool.bin_NEW",
        "Upd update rolled back : verification failed : " + source + "tool.bin_NEW",
        "Upd not verified, left alone : " + source + "extra.dll_NEW",
        "Upd verification failed : " + source + "setup.exe"})
    EXPECT_NE(std::find(messages.begin(), messages.end(), line), messages.end()) << line;
  EXPECT_EQ(FilesBelow(app.Path()), (TLines{"app.exe", "tool.bin"})) << "no half-made copy stays";
  handOff("VERIFIED=1\r\n");
  EXPECT_EQ(Work("app.exe_NEW").ExitCode, 0);
  EXPECT_EQ(ReadFile(app.File("app.exe")), "new program");

  // Without the mark the hashes speak for nothing: an unsigned run's stub.
  handOff("");
  EXPECT_EQ(Work("tool.bin_NEW").ExitCode, 0);
  EXPECT_EQ(ReadFile(app.File("tool.bin")), "changed after the run's check");
}

TEST_F(StubTest, ListFileNamesFilesWithTheirTargetFoldersAndMayNameFurtherLists) {
  WriteFile(src.File("data.inf"),
            "[Files]\r\ncount=4\r\nfile1=lib.dll_NEW\r\ntarget1={sys}\r\n"
            "FILE2=data.cab\r\nTARGET2={APP}\\data\r\nfile3=more.inf\r\n"
            "file4=missing.dll_NEW\r\ntarget4=/nowhere\r\n");
  // A list that names itself and claims far more entries than it holds.
  WriteFile(src.File("more.inf"),
            "[FILES]\r\nCOUNT=2000000000\r\nFILE1=more.inf\r\nFILE2=readme.txt_NEW\r\n"
            "TARGET2={TMP}\r\n");
  WriteFile(src.File("lib.dll_NEW"), "library");
  WriteFile(src.File("readme.txt_NEW"), "read me");
  WriteFile(src.File("x_NEW"), "x");
  WriteFile(src.File("data.cab"),
            StoredCabinet({{"readme.txt", "cab text"}, {"sub\\deep.txt", "deep"}}));

  const TProgramResult r = Work("data.inf");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ReadFile(app.File("data/readme.txt")), "cab text");
  EXPECT_EQ(ReadFile(app.File("data/sub/deep.txt")), "deep");
  EXPECT_FALSE(ReadFile(src.File("data.cab"))) << "an extracted cabinet goes";
  if (platform::RunsElevated()) {
    // With raised rights (every program under Wine has them) a list, a file
    // the user can write, names no folder outside the installation.
    EXPECT_FALSE(ReadFile(folders.System() + kSep + "lib.dll"));
    EXPECT_FALSE(ReadFile(temp.File("readme.txt")));
    const TLines messages = Messages();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& m) {
                              return m.find("is outside the installation") != std::string::npos;
                            }),
              3);
    return;
  }
  EXPECT_EQ(ReadFile(folders.System() + kSep + "lib.dll"), "library");
#ifdef _WIN32
  std::remove((folders.System() + kSep + "lib.dll").c_str());
#endif
  EXPECT_EQ(ReadFile(temp.File("readme.txt")), "read me");
  EXPECT_TRUE(ReadFile(src.File("data.inf"))) << "the list stays";
  const std::string appData = app.Path() + "\\data" + kSep;
  EXPECT_EQ(Messages(),
            Join(Header(),
                 {"Upd inf file: " + source + "data.inf", "upd inf 1 : lib.dll_NEW {sys}",
                  "Upd copying file : " + source + "lib.dll_NEW to " + folders.System() + kSep +
                      "lib.dll",
                  "upd inf 2 : data.cab {APP}\\data", "Upd cab extract data.cab " + appData,
                  "upd inf 3 : more.inf ", "Upd inf file: " + source + "more.inf",
                  "upd inf 1 : more.inf ", "upd inf 2 : readme.txt_NEW {TMP}",
                  "Upd copying file : " + source + "readme.txt_NEW to " + temp.File("readme.txt"),
                  "upd inf 4 : missing.dll_NEW /nowhere"}));

  // A copy that fails undoes the update: what the list installed before it
  // goes back, and nothing after it is done.
  std::filesystem::remove(LogPath());
  WriteFile(src.File("bad.inf"),
            "[FILES]\r\nCOUNT=3\r\nFILE1=readme.txt_NEW\r\nTARGET1={APP}\r\n"
            "FILE2=x_NEW\r\nTARGET2=/nonexistent\r\nFILE3=lib.dll_NEW\r\n");
  WriteFile(app.File("readme.txt"), "old readme");
  EXPECT_EQ(Work("bad.inf").ExitCode, 0);
  EXPECT_EQ(ReadFile(app.File("readme.txt")), "old readme");
  EXPECT_FALSE(ReadFile(app.File("lib.dll")));
  const std::string copyError = "copy error " + source + "x_NEW to /nonexistent" + kSep + "x";
  EXPECT_EQ(Messages(),
            Join(Header(),
                 {"Upd inf file: " + source + "bad.inf", "upd inf 1 : readme.txt_NEW {APP}",
                  "Upd copying file : " + source + "readme.txt_NEW to " + app.File("readme.txt"),
                  "upd inf 2 : x_NEW /nonexistent",
                  "Upd copying file : " + source + "x_NEW to /nonexistent" + kSep + "x",
                  "Upd " + copyError, "Upd update rolled back : " + copyError}));
}

TEST(StubListEntries, AreTheNumbersUpToTheCountThatTheFileHoldsAKeyFor) {
  using TEntries = std::vector<std::tuple<int, std::string, std::string>>;
  const auto entries = [](const std::string& text) {
    TEntries out;
    for (const auto& e : kavrel::stub::ReadListEntries(text))
      out.emplace_back(e.Index, e.File, e.Target);
    return out;
  };
  EXPECT_EQ(entries("[files]\ncount=3\nfile1=a.cab\ntarget1={APP}\nTARGET3=/t\nfile4=beyond\n"),
            (TEntries{{1, "a.cab", "{APP}"}, {3, "", "/t"}}));
  // Numbers in the billions, within and beyond the count: only what is there
  // is worked through, not every number below it.
  EXPECT_EQ(entries("[FILES]\nCOUNT=2000000000\nFILE1=more.inf\nTARGET20000003={TMP}\n"
                    "FILE2000000000=last\nFILE2147483647=past\n"),
            (TEntries{{1, "more.inf", ""}, {20000003, "", "{TMP}"}, {2000000000, "last", ""}}));
  EXPECT_EQ(entries("[FILES]\nCOUNT=$7FFFFFFF\nFILE$7FFFFFFF=x\nFILE0x10=y\nFILE01=z\n"
                    "FILE+2=w\nFILE 3=v\nFILE-1=u\nFILE=t\nFILE0=s\n"),
            TEntries{})
      << "a key not spelled as the entries are looked up names no entry";
  // Values up to 128 characters; the first of duplicate keys counts.
  EXPECT_EQ(entries("[FILES]\nCOUNT=1\nFILE1=" + std::string(140, 'n') + "\nfile1=second\n"),
            (TEntries{{1, std::string(128, 'n'), ""}}));
  EXPECT_EQ(entries("[FILES]\nFILE1=no count\n"), TEntries{});
}

TEST_F(StubTest, PatchesProgramsCabinetsAndLzFilesByTheirNames) {
  // The patch utility, found in the current folder, and the setup program
  // record their starts: version 2 and version 1 of the recording program.
  std::filesystem::copy_file(KAVREL_TEST_APP2_PATH, app.File("patcher.exe"));
  const auto arrive = [&] {
    WriteFile(src.File("app.pat"), "patch");
    std::filesystem::copy_file(KAVREL_TEST_APP1_PATH, src.File("setup.exe"),
                               std::filesystem::copy_options::overwrite_existing);
#ifndef _WIN32  // a program that arrived without permission to run
    ASSERT_EQ(::chmod(src.File("setup.exe").c_str(), 0644), 0);
#endif
  };
  arrive();
  WriteFile(app.File("a.b"), "plain text, not compressed");  // three characters: no pending copy
  WriteFile(app.File("notes.tx_"), *SzddCompress("the notes", 't'));

  for (const char* logging : {"X", "L"}) {
    const TProgramResult r = Work("app.pat setup.exe a.b notes.tx_", logging);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_FALSE(ReadFile(src.File("app.pat"))) << "an applied patch goes";
    arrive();
  }
  // Each start: the version, the current folder and the arguments.
  TLines starts;
  for (const std::string& line : FileLines(record.File("record"))) {
    std::vector<std::string> f = TabFields(line);
    ASSERT_GE(f.size(), 3u) << line;
    f.erase(f.begin() + 1);  // the time
    std::string start;
    for (const std::string& field : f) start += (start.empty() ? "" : " ") + field;
    starts.push_back(start);
  }
  const std::string patch = "2 " + app.Path() + " ", setup = "1 " + app.Path();
  EXPECT_EQ(starts, (TLines{patch + source + "app.pat app.EXE", setup,
                            patch + "-v " + source + "app.pat app.EXE >> " +
                                platform::ToNativePath(LogPath()),
                            setup}));
  EXPECT_EQ(ReadFile(app.File("a.b")), "plain text, not compressed");
  EXPECT_EQ(ReadFile(app.File("notes.txt")), "the notes");
  EXPECT_TRUE(ReadFile(app.File("notes.tx_"))) << "the compressed source stays";
  const std::string here = app.File("");
  EXPECT_EQ(Messages(), Join(Header(), {"Upd execute setup.exe " + here, "Upd lzexpand a.b " + here,
                                        "Upd lzexpand notes.tx_ " + here,
                                        "Upd lzexpand dest. filename notes.txt"}));
  // A cabinet that fails stays, and the update is undone: the file expanded
  // before it is the old one again.
  std::filesystem::remove(LogPath());
  WriteFile(src.File("broken.cab"), "no cabinet");
  WriteFile(app.File("notes.txt"), "old notes");
  EXPECT_EQ(Work("notes.tx_ broken.cab").ExitCode, 0);
  EXPECT_EQ(ReadFile(app.File("notes.txt")), "old notes");
  EXPECT_TRUE(ReadFile(src.File("broken.cab"))) << "a cabinet that failed stays";
  EXPECT_EQ(
      Messages(),
      Join(Header(), {"Upd lzexpand notes.tx_ " + here, "Upd lzexpand dest. filename notes.txt",
                      "Upd cab extract broken.cab " + here, "Upd cabextract failed",
                      "Upd update rolled back : cabextract failed"}));
}

TEST_F(StubTest, FirstArgumentThatIsNoProcessNumberEndsItAtOnce) {
  WriteFile(home.File("Documents/KAVREL.INI"), "[CONFIG]\r\nLOGFILENAME=x.log\r\n");
  WriteFile(src.File("app.exe_NEW"), "new");
  for (const std::string first : {"", "abc", "12x", "99999999999", "$10", "0x10"}) {
    const TProgramResult r = Stub(first + " L null \" \" \"" + source + "\" app.exe_NEW");
    EXPECT_EQ(r.ExitCode, 1) << first;
  }
  EXPECT_FALSE(ReadFile(app.File("app.exe")));
  EXPECT_TRUE(ReadFile(home.File("Documents/KAVREL.INI"))) << "nothing touched";
  EXPECT_FALSE(ReadFile(home.File("Documents/x.log")));
}

TEST_F(StubTest, ALockHeldLongerThanAnyUpdateEndsItWithALogLine) {
  WriteFile(src.File("app.exe_NEW"), "new");
  std::string lockPath;  // as the stub finds it: in its temporary folder, named after its own
  {
    TScopedTempFolder tmp(temp.Path());
    TScopedCurrentDir here(app.Path());
    lockPath = InstallationLockPath();
  }
  const auto held = platform::TFileLock::TryTake(lockPath);
  ASSERT_TRUE(held);
  TEnvironment environment = Environment();
  environment.emplace_back("KAVREL_LOCK_WAIT_SECONDS", "1");
  const TProgramResult r = RunWithParameterText(
      KAVREL_STUB_PATH, "0 L null \" \" \"" + source + "\" app.exe_NEW", app.Path(), environment);
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_FALSE(ReadFile(app.File("app.exe")));
  EXPECT_EQ(Messages(),
            TLines{"Upd the installation stays locked by another update; nothing done"});
}

TEST_F(StubTest, AnLzEntryOfAListExpandsStraightIntoItsTarget) {
  WriteFile(app.File("notes.tx_"), *SzddCompress("new notes", 't'));
  WriteFile(app.File("notes.txt"), "unrelated notes here");
  WriteFile(app.File("doc/notes.txt"), "old notes");
  WriteFile(src.File("list.inf"),
            "[FILES]\r\nCOUNT=1\r\nFILE1=notes.tx_\r\nTARGET1={APP}" + kSep + "doc\r\n");
  EXPECT_EQ(Work("list.inf").ExitCode, 0);
  EXPECT_EQ(ReadFile(app.File("doc/notes.txt")), "new notes");
  EXPECT_EQ(ReadFile(app.File("notes.txt")), "unrelated notes here");
}

TEST_F(StubTest, ALogThatCannotBeWrittenCostsItsLinesNotTheUpdate) {
  WriteFile(home.File("Documents/KAVREL.INI"),
            "[CONFIG]\r\nLOGFILENAME=" + src.File("no folder") + kSep + "x.log\r\n");
  WriteFile(src.File("app.exe_NEW"), "new");
  EXPECT_EQ(Work("app.exe_NEW").ExitCode, 0);
  EXPECT_EQ(ReadFile(app.File("app.exe")), "new");
}

TEST_F(StubTest, ControlCharactersInArgumentsOrListEntriesAreRefused) {
  WriteFile(src.File("app.exe_NEW"), "new");
  // A quoted argument that would carry a line of the caller's choosing into the log.
  const TProgramResult r = Stub("0 L \"app.exe\n01/01/2030 00:00:00 : [000] forged\" \" \" \"" +
                                source + "\" app.exe_NEW");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_FALSE(ReadFile(app.File("app.exe")));
  EXPECT_EQ(Messages(), TLines{"Upd an argument holds a control character; nothing done"});
  WriteFile(src.File("list.inf"), "[FILES]\r\nCOUNT=1\r\nFILE1=app.exe_NEW\r\nTARGET1=a\tb\r\n");
  EXPECT_EQ(Work("list.inf").ExitCode, 0);
  EXPECT_FALSE(ReadFile(app.File("a\tb" + kSep + "app.exe")));
  EXPECT_FALSE(ReadFile(app.File("app.exe")));
}

TEST_F(StubTest, ArgumentsGivenOneByOneKeepTheirBlanks) {
  const std::string spaced = src.File("a folder") + kSep;
  WriteFile(spaced + "app.exe_NEW", "new");
  const TProgramResult r = RunProgram(
      {KAVREL_STUB_PATH, "0", "X", "null", " ", spaced, "app.exe_NEW"}, app.Path(), Environment());
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ReadFile(app.File("app.exe")), "new");
}

TEST_F(StubTest, EmptyQuotedFolderShiftsTheNamesIntoItsPlace) {
  WriteFile(src.File("app.exe_NEW"), "new");
  WriteFile(app.File("app.exe_NEW"), "new here");
  const TProgramResult r = Stub("0 L null \" \" \"\" app.exe_NEW x.dll_NEW");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  // "app.exe_NEW" became the folder; x.dll_NEW is looked for in it.
  EXPECT_FALSE(ReadFile(app.File("app.exe")));
  EXPECT_EQ(Messages(), Header());
}

TEST_F(StubTest, WaitsForTheLauncherThenTakesTheLogNameFromTheHandOffFile) {
  WriteFile(home.File("Documents/KAVREL.INI"), "[CONFIG]\r\nLOGFILENAME=special.log\r\n");
  WriteFile(src.File("app.exe_NEW"), "new");
  // The launcher stays a while, and notes as it ends what app.exe held then.
  TRunningProgram launcher({KAVREL_TEST_APP1_PATH}, app.Path(),
                           {{"KAVREL_TEST_RECORD", record.File("launcher")},
                            {"KAVREL_TEST_LINGER", "1500"},
                            {"KAVREL_TEST_WATCHED", app.File("app.exe")}});
  const TProgramResult r =
      Stub(std::to_string(launcher.Pid()) + " L null \" \" \"" + source + "\" app.exe_NEW");
  EXPECT_EQ(launcher.Wait().ExitCode, 0);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  const TLines launcherLines = FileLines(record.File("launcher"));
  ASSERT_EQ(launcherLines.size(), 2u);
  EXPECT_EQ(launcherLines[1], "end\t") << "the copy came only after the launcher had ended";
  EXPECT_EQ(ReadFile(app.File("app.exe")), "new");
  EXPECT_FALSE(ReadFile(home.File("Documents/KAVREL.INI"))) << "read, then deleted";
  // With raised rights no path comes from the user's file: the log goes to
  // its default place.
  const bool elevated = platform::RunsElevated();
  EXPECT_EQ(FileLines(elevated ? LogPath() : home.File("Documents/special.log")).size(), 3u);
  EXPECT_FALSE(ReadFile(elevated ? home.File("Documents/special.log") : LogPath()));
}

TEST_F(StubTest, RestartsExactlyTheNamedProgramWithItsParametersAsOneArgument) {
  const std::string folder = app.File("My App");
  std::filesystem::create_directories(folder);
  const std::string program = folder + kSep + "app.exe";
  std::filesystem::copy_file(KAVREL_TEST_APP2_PATH, program);
  // Were the path split at its blank, this program would start instead.
#ifdef _WIN32
  std::filesystem::copy_file(KAVREL_TEST_APP1_PATH, app.File("My.exe"));
#else
  std::filesystem::copy_file(KAVREL_TEST_APP1_PATH, app.File("My"));
  // A program that came new with the update, without permission to run.
  ASSERT_EQ(::chmod(program.c_str(), 0644), 0);
#endif
  for (const std::string parameters : {" ", "a b", "-x"}) {
    const TProgramResult r = Stub("0 L \"" + program + "\" \"" + parameters + "\" \".\"", folder);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
  }
  const TLines runs = WaitForFileLines(record.File("record"), 3);
  ASSERT_EQ(runs.size(), 3u);
  const std::vector<std::vector<std::string>> arguments = {{}, {"a b"}, {"-x"}};
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const std::vector<std::string> f = TabFields(runs[i]);
    ASSERT_GE(f.size(), 3u) << runs[i];
    EXPECT_EQ(f[0], "2") << "the program named, not one its blank would make";
    EXPECT_EQ(f[2], folder) << "in the stub's current folder";
    EXPECT_EQ(std::vector<std::string>(f.begin() + 3, f.end()), arguments[i]) << runs[i];
  }
  const TLines log = FileLines(home.File("Documents/KAVREL.LOG"));
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find(" : [000] Upd restart " + program + " -x"), std::string::npos)
      << log.back();
}

}  // namespace
}  // namespace kavrel::test
