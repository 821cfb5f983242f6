// kavrel lint: each surprise it is there for is named at its line, and a
// control file without one gets nothing said.
#include "ControlFileLint.h"

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

// Three entries a machine reads as written.
constexpr const char* kClean =
    "[update]\r\nsignature=Kavrel\r\nunconditional=1\r\ndate=01/02/2026\r\nnewversion=1.2.3.4\r\n"
    "[application]\r\nappupdate=1\r\nappname=app.exe\r\nappcomps=app.exe_NEW\r\n"
    "[files]\r\ncount=3\r\n"
    "[file1]\r\nurl=https://example.org/app.exe_NEW\r\ndescr=App\r\n"
    "[file2]\r\nurl=https://example.org/data.pat\r\nlocalversion={APP}\\data.bin\r\n"
    "targetdir={APP}\r\nfallback=3\r\nnewchecksum=1234\r\n"
    "[file3]\r\nurl=https://example.org/data.bin\r\ntargetdir={APP}\r\ncompressed=0\r\n"
    "[whatsnew]\r\nfile=https://example.org/news.txt\r\n";

TEST(ControlFileLint, ACleanFileGetsNothingSaid) {
  EXPECT_TRUE(LintControlFile(kClean, {"https://example.org/update.ini"}).empty());
}

TEST(ControlFileLint, EachSurpriseIsNamedAtItsLine) {
  struct TCase {
    std::string Text;
    int Line;
    bool Error;
    const char* Says;
  };
  const std::string files = "[files]\ncount=1\n[file1]\nurl=http://h/a.dat\n";
  const std::vector<TCase> cases = {
      {"[update]\nsignatur=K\n", 2, false, "did you mean \"signature\""},
      {"[updates]\n", 1, false, "did you mean \"update\""},
      {"[update]\nunconditional=yes\n", 2, true, "reads as no"},
      {"[update]\nunconditional=2\n", 2, true, "only 1 means yes"},
      {"[update]\ndate=31/02/2026\n", 2, true, "no date in the form dd/mm/yyyy"},
      {"[update]\nnewversion=one\n", 2, true, "no version number"},
      {"[update]\nnewversion=1.x\n", 2, false, "reads as 1.0.0.0"},
      {"[update]\nnewchecksum=-1\n", 2, false, "means no checksum"},
      {"[files]\ncount=three\n", 2, true, "not a number"},
      {"[files]\ncount=2\n[file1]\nurl=h/a\n", 2, true, "no [file2]"},
      {files + "[file2]\nurl=h/b\n", 5, true, "[file2] is not read"},
      {"[application]\nappupdate=1\n", 2, true, "without \"appname\""},
      {files + "[application]\nappname=a\nappcomps=b.exe_NEW\n", 7, true, "delivered by no entry"},
      {files + "[application]\nappname=a\nappcomps=data.dat_NEW\n", 4, true,
       "occurs inside \"appcomps\""},
      {"[files]\ncount=2\n[file1]\nurl=h/a.dat\n[file2]\nurl=i/A.DAT\n", 6, true, "same place"},
      {"[whatsnew]\nfile=http://h/update.ini\n", 2, true, "the control file's own name"},
      {"[update]\nsequence=2\n" + files, 5, true, "has no \"sha256\""},
      {files + "fallback=4\n", 5, true, "names no other entry"},
      {"[files]\ncount=1\n[file1]\nurl=h/a.pat\n", 4, false, "fails"},
      {files, 4, true, "plain http"},
      {"[update]\ndate=1\n[update]\n", 3, false, "only the first one at line 1"},
  };
  for (const TCase& c : cases) {
    const auto findings = LintControlFile(c.Text, {"https://h/update.ini"});
    const bool found = std::any_of(findings.begin(), findings.end(), [&](const TLintFinding& f) {
      return f.Line == c.Line && f.Error == c.Error && f.Message.find(c.Says) != std::string::npos;
    });
    EXPECT_TRUE(found) << c.Says << " at " << c.Line << " in:\n" << c.Text;
  }
}

TEST(ControlFileLint, TheCommandSaysErrorsByItsExitStatusAndInJson) {
  TTempDir dir;
  WriteFile(dir.File("update.ini"), kClean);
  EXPECT_EQ(RunProgram({KavrelProgram(), "lint", dir.File("update.ini")}, dir.Path()).ExitCode, 0);
  WriteFile(dir.File("update.ini"), "[update]\r\nunconditional=yes\r\nsignatur=x\r\n");
  const TProgramResult r =
      RunProgram({KavrelProgram(), "lint", "--format=json", dir.File("update.ini")}, dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Out.find("{\"line\": 2, \"severity\": \"error\""), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\"severity\": \"warning\", \"message\": \"unknown key \\\"signatur\\\""),
            std::string::npos)
      << r.Out;
}

}  // namespace
}  // namespace kavrel::test
