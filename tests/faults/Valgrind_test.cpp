// A whole run with an installation, and the updater stub, under valgrind's
// memory checker: no invalid access, no use of uninitialised memory, no leak.
// Not in the sanitizer build, whose programs valgrind cannot run.
#include <unistd.h>

#include "CabinetImage.h"
#include "InstallationRun.h"
#include "SzddCompress.h"

namespace kavrel::test {
namespace {

const char* const kValgrind = "/usr/bin/valgrind";

std::vector<std::string> UnderValgrind(std::vector<std::string> args) {
  args.insert(args.begin(), {kValgrind, "--error-exitcode=97", "--leak-check=full",
                             "--errors-for-leak-kinds=definite,indirect", "--quiet"});
  return args;
}

class ValgrindTest : public TInstallationRun {
 protected:
  void SetUp() override {
#ifdef KAVREL_SANITIZED
    GTEST_SKIP() << "the sanitizer build's programs do not run under valgrind";
#endif
    if (::access(kValgrind, X_OK) != 0) GTEST_SKIP() << "valgrind is not installed";
  }
};

TEST_F(ValgrindTest, AFullRunAndTheStubAreClean) {
  TTempDir src;
  WriteFile(src.File("readme.txt"), "read me");
  MakeCabinetWithGcab(src.Path(), www.File("data.cab"), {"readme.txt"}, true);
  WriteFile(www.File("notes.tx_"), *SzddCompress("the notes\n", 't'));
  WriteFile(app.File("app.exe"), "old app");
  Publish({{"url=" + server.Url("gen/100000/app.exe"), "targetdir=" + app.Path()},
           {"url=" + server.Url("data.cab"), "compressed=1", "targetdir=" + app.File("data")},
           {"url=" + server.Url("notes.tx_"), "compressed=1"}});
  const TEnvironment env = Environment();
  const TProgramResult r = RunProgram(UnderValgrind(Arguments({"ExtractCAB=True", "Logging=True"})),
                                      app.Path(), env, 300);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("[948]"), std::string::npos) << r.Out;
  EXPECT_EQ(ReadFile(app.File("data/readme.txt")), "read me");
  EXPECT_EQ(ReadFile(app.File("notes.txt")), "the notes\n");

  TTempDir pending;
  WriteFile(pending.File("app.exe_NEW"), "new app");
  const TProgramResult stub = RunProgram(
      UnderValgrind({KAVREL_STUB_PATH, "0 L null \" \" \"" + pending.Path() + "/\" app.exe_NEW"}),
      app.Path(), env, 300);
  EXPECT_EQ(stub.ExitCode, 0) << stub.Err;
  EXPECT_EQ(ReadFile(app.File("app.exe")), "new app");
}

}  // namespace
}  // namespace kavrel::test
