// The Python host of examples/python, run as a user runs it: against the
// local server, with the engine's shared library, in an installation of its
// own. It prints the run's statuses and progress and exits with its status;
// where the run hands over, the stub the library carries finishes the update
// once Python has ended.
#include <gtest/gtest.h>

#include <filesystem>

#include "InstallationRun.h"

namespace kavrel::test {
namespace {

class PythonHostTest : public TInstallationRun {
 protected:
  TProgramResult Host(const std::vector<std::string>& options,
                      const std::vector<std::string>& properties) {
    std::vector<std::string> args = {"/usr/bin/python3", KAVREL_PYTHON_HOST};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {KAVREL_LIBRARY_PATH, server.Url("update.ini"),
                             "UpdateUpdate=kvuSilent", "UseWinTempDir=False"});
    args.insert(args.end(), properties.begin(), properties.end());
    TEnvironment env = Environment();
    env.emplace_back("KAVREL_TEST_RECORD", app.File("record"));
    return RunProgram(args, app.Path(), env);
  }
};

TEST_F(PythonHostTest, PrintsTheRunAndExitsWithItsStatus) {
  WriteFile(app.File("data.bin"), "version 1");
  Publish({{"url=" + server.Url("gen/100000/data.bin")}}, "[action]\r\nquery=Install now?\r\n");
  struct TCase {
    std::vector<std::string> options, properties;
    int status;
    std::vector<std::string> out, err;  // lines each must hold
    bool updated;
  } cases[] = {
      {{},
       {"Agent=Kavrel Python"},
       4,
       {"[936] Found query instruction (Status:3) (Error:0)"},
       // The engine's own interface: the box on the standard error stream, answered No.
       {"[box] Install now?"},
       false},
      {{}, {"Colour=blue"}, 2, {}, {"update.py: unknown property Colour"}, false},
      {{"--yes"},
       {},
       0,
       {"[926] Update control file found (Status:3) (Error:0)", "[box] Question: Install now?",
        "data.bin 100000/100000",
        "[948] Finished processing update control file (Status:3) (Error:0)"},
       {},
       true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options) + ::testing::PrintToString(c.properties));
    const TProgramResult r = Host(c.options, c.properties);
    EXPECT_EQ(r.ExitCode, c.status) << r.Out << r.Err;
    for (const std::string& line : c.out) {
      EXPECT_NE(r.Out.find(line + "\n"), std::string::npos) << line << " in\n" << r.Out;
    }
    for (const std::string& line : c.err) {
      EXPECT_NE(r.Err.find(line + "\n"), std::string::npos) << line << " in\n" << r.Err;
    }
    EXPECT_TRUE(ReadFile(app.File("data.bin")) ==
                (c.updated ? GeneratedBytes(100000) : std::string("version 1")));
  }
}

TEST_F(PythonHostTest, HandsOverToTheStubTheLibraryCarries) {
  std::filesystem::copy_file(KAVREL_TEST_APP1_PATH, app.File("app.exe"));
  std::filesystem::copy_file(KAVREL_TEST_APP2_PATH, www.File("app.exe_NEW"));
  Publish({{"url=" + server.Url("app.exe_NEW")}},
          "[application]\r\nappupdate=1\r\nappname=app.exe\r\nappcomps=app.exe_NEW\r\n"
          "silentrestart=1\r\n");
  const TProgramResult r = Host({}, {"TempDirectory=."});
  ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_NE(r.Out.find("[handoff] "), std::string::npos) << r.Out;
  // Once Python has ended, the stub puts version 2 in place and starts it.
  const std::vector<std::string> runs = WaitForFileLines(app.File("record"), 1);
  ASSERT_EQ(runs.size(), 1u) << r.Out;
  EXPECT_EQ(runs[0].substr(0, 2), "2\t");
  EXPECT_TRUE(ReadFile(app.File("app.exe")) == ReadFile(KAVREL_TEST_APP2_PATH));
}

}  // namespace
}  // namespace kavrel::test
