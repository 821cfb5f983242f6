// What the engine and the updater stub agree on: the command line the engine
// builds and the stub's rule for reading it back, and the temporary folder
// both keep the handoff's files in.
#include "StubHandoff.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "Errors.h"
#include "Folders.h"
#include "PathNames.h"
#include "System.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

using TArgs = std::vector<std::string>;

TEST(StubCommandLine, ExampleHandoffIsBuiltAndReadBackArgumentForArgument) {
  // Process 1234, no logging, a folder with blanks, no parameters (a single
  // blank), a temporary folder ending in a backslash, two components.
  const std::string line = BuildStubCommandLine(
      {1234, false, "C:\\Program Files\\App\\app.exe", " ", "C:\\Temp\\", "app.exe_NEW data.inf"});
  EXPECT_EQ(line,
            "1234 X \"C:\\Program Files\\App\\app.exe\" \" \" \"C:\\Temp\\\" app.exe_NEW data.inf");
  EXPECT_EQ(SplitStubArguments(line), (TArgs{"1234", "X", "C:\\Program Files\\App\\app.exe", " ",
                                             "C:\\Temp\\", "app.exe_NEW", "data.inf"}));

  const std::string logged =
      BuildStubCommandLine({77, true, "/opt/app/app.exe", "a b", ".", "app.exe_NEW"});
  EXPECT_EQ(logged, "77 L /opt/app/app.exe \"a b\" \".\" app.exe_NEW");
  EXPECT_EQ(SplitStubArguments(logged),
            (TArgs{"77", "L", "/opt/app/app.exe", "a b", ".", "app.exe_NEW"}));

  // A tab separates too, so it is quoted like a blank; a double quote cannot
  // be handed over at all.
  const TStubCommand tabbed{9, false, "/opt/app/app.exe", "-a\t-b", "/tmp/", "app.exe_NEW"};
  EXPECT_EQ(SplitStubArguments(BuildStubCommandLine(tabbed)),
            (TArgs{"9", "X", "/opt/app/app.exe", "-a\t-b", "/tmp/", "app.exe_NEW"}));
  EXPECT_TRUE(StubCanReadBack(tabbed));
  EXPECT_FALSE(StubCanReadBack({9, false, "/opt/app/app.exe", "--title \"A\"", "/tmp/", ""}));
  EXPECT_FALSE(StubCanReadBack({9, false, "/opt/\"app\"/app.exe", " ", "/tmp/", ""}));

  // Before any control file was read the parameters are empty: the folder
  // then takes their place.
  EXPECT_EQ(SplitStubArguments(BuildStubCommandLine({5, false, "/opt/app/", "", "/tmp/", ""})),
            (TArgs{"5", "X", "/opt/app/", "/tmp/"}));
}

TEST(StubCommandLine, ArgumentRule) {
  const struct {
    const char* line;
    TArgs args;
  } cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a\tb\nc\x01"
       "d",
       {"a", "b", "c", "d"}},                         // every code up to 32 separates
      {"1 \"\" x y", {"1", "x", "y"}},                // an empty quoted argument is none
      {"\"\"\"\"a", {"a"}},                           // pairs skipped at an argument's start
      {"\" \"", {" "}},                               // a quoted blank is an argument
      {"ab\"c d\"e f", {"abc de", "f"}},              // quotes toggle inside and are dropped
      {"\"open", {"open"}},                           // an unclosed quote runs to the end
      {"\"C:\\dir\\\" next", {"C:\\dir\\", "next"}},  // a backslash is ordinary
      {"x\\\"y z\"", {"x\\y z"}},
      {"caf\xc3\xa9 \xe2\x82\xac", {"caf\xc3\xa9", "\xe2\x82\xac"}},  // bytes above 127 belong
  };
  for (const auto& c : cases) EXPECT_EQ(SplitStubArguments(c.line), c.args) << c.line;
}

#ifdef _WIN32
// Windows always names a documents folder of the user's, whatever HOME says.
TEST(StubCommandLine, HandOffFileLiesInTheDocumentsFolder) {
  ASSERT_FALSE(platform::DocumentsFolder().empty());
  EXPECT_EQ(HandOffFilePath(),
            platform::DocumentsFolder() + platform::kNativeSeparator + "KAVREL.INI");
}

// The temporary folder is the one Windows gives the user, from TMP.
TEST(TempFolder, IsTheUsersFromTmp) {
  TTempDir chosen;
  TScopedEnv tmp("TMP", chosen.Path() + "\\");
  EXPECT_EQ(platform::TempFolder(), chosen.Path());
}
#else
TEST(StubCommandLine, HandOffFileLiesInTheDocumentsFolderOrElseTheWindowsFolder) {
  TTempDir home, windows;
  ASSERT_EQ(::mkdir(home.File("Documents").c_str(), 0700), 0);
  TScopedEnv h("HOME", home.Path()), x("XDG_CONFIG_HOME", home.File("none")),
      w("KAVREL_WINDIR", windows.Path());
  EXPECT_EQ(HandOffFilePath(), home.File("Documents/KAVREL.INI"));
  TScopedEnv noHome("HOME", std::nullopt);
  EXPECT_EQ(HandOffFilePath(), windows.File("KAVREL.INI"));
}

// The temporary folder without $TMPDIR: made for this user alone, and used
// only while it stays so.
class PrivateTempFolderTest : public ::testing::Test {
 protected:
  PrivateTempFolderTest()
      : tmp_("TMPDIR", std::nullopt),
        runtime_("XDG_RUNTIME_DIR", base.Path()),
        cache_("XDG_CACHE_HOME", cache.Path()),
        folder(base.File("kavrel-" + std::to_string(::geteuid()))) {}
  TTempDir base, cache;
  TScopedEnv tmp_, runtime_, cache_;
  std::string folder;
};

TEST_F(PrivateTempFolderTest, IsMadeForThisUserAloneAndKept) {
  EXPECT_EQ(platform::TempFolder(), folder);
  struct stat st {};
  ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  WriteFile(folder + "/kept", "x");
  EXPECT_EQ(platform::TempFolder(), folder);
  EXPECT_EQ(ReadFile(folder + "/kept"), "x");
  // $TMPDIR, when set and this user's alone, is the user's own choice.
  ASSERT_EQ(::mkdir(base.File("chosen").c_str(), 0755), 0);
  TScopedEnv chosen("TMPDIR", base.File("chosen/"));
  EXPECT_EQ(platform::TempFolder(), base.File("chosen"));
}

TEST_F(PrivateTempFolderTest, ATakenNameGivesAFolderOfTheUsersCacheAndTouchesNothing) {
  const std::string mine = cache.File("kavrel-tmp");
  const struct {
    const char* what;
    std::function<void()> take;
  } cases[] = {
      {"readable by others", [&] { ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0); }},
      {"a link",
       [&] {
         std::filesystem::create_directories(base.File("real"));
         ASSERT_EQ(::symlink(base.File("real").c_str(), folder.c_str()), 0);
       }},
      {"a file", [&] { WriteFile(folder, "a file"); }},
      {"another user's",
       [&] {
         ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
         if (::geteuid() == 0) {
           ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
         }
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.what) == "another user's" && ::geteuid() != 0)
      GTEST_SKIP() << "only root can give a folder to another user";
    c.take();
    EXPECT_EQ(platform::TempFolder(), mine);
    EXPECT_EQ(ModeOf(mine), 0700u);
    EXPECT_NE(platform::TempFolderNote().find(folder + " is not a folder of this user alone"),
              std::string::npos)
        << platform::TempFolderNote();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(folder)));
    std::filesystem::remove_all(folder);
  }
}

TEST_F(PrivateTempFolderTest, WithoutACacheAFreshFolderIsMadeAndHandedToChildren) {
  WriteFile(folder, "taken");
  WriteFile(cache.File("kavrel-tmp"), "taken too");
  const std::string made = platform::TempFolder();
  EXPECT_EQ(made.rfind(folder + "-", 0), 0u) << made;
  EXPECT_EQ(ModeOf(made), 0700u);
  EXPECT_EQ(platform::GetEnvironment("TMPDIR"), made) << "the updater stub finds it there";
  EXPECT_EQ(platform::TempFolder(), made);
}

TEST_F(PrivateTempFolderTest, ASharedTmpdirGetsAFolderOfThisUserBelowIt) {
  ASSERT_EQ(::chmod(base.Path().c_str(), 01777), 0);
  TScopedEnv shared("TMPDIR", base.Path());
  EXPECT_EQ(platform::TempFolder(), folder);
  EXPECT_EQ(ModeOf(folder), 0700u);
}
#endif  // the temporary folder's own rules are POSIX's: $TMPDIR, modes, links, owners

}  // namespace
}  // namespace kavrel::test
