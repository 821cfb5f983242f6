#include <gtest/gtest.h>

#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#endif
#include <map>

#include "Kavrel.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "TestSupport.h"
#include "Text.h"

namespace kavrel {
namespace {

using test::TScopedCurrentDir;
using test::TScopedEnv;
using test::TTempDir;

// The separator a folder's path gets where it has none at its end.
const std::string kSep(1, platform::kNativeSeparator);

#ifdef _WIN32
// The folders Windows names itself, as the system gives them.
std::string SystemFolder(UINT (*get)(LPWSTR, UINT)) {
  wchar_t folder[MAX_PATH] = {};
  const UINT n = get(folder, MAX_PATH);
  return std::filesystem::path(std::wstring(folder, n)).string();
}
#endif

// Windows and system folders the expected texts know: fixed on Linux, so
// that they do not depend on the machine; the system's own on Windows.
class PathMacros : public testing::Test {
 protected:
#ifdef _WIN32
  const std::string win = SystemFolder(::GetWindowsDirectoryW);
  const std::string sys = SystemFolder(::GetSystemDirectoryW);
#else
  TScopedEnv win_{"KAVREL_WINDIR", "/srv/kavrel/windows"};
  TScopedEnv sys_{"KAVREL_SYSDIR", "/srv/kavrel/system32/"};
  const std::string win = "/srv/kavrel/windows", sys = "/srv/kavrel/system32";
#endif
  TKavrel engine_;
};

#ifndef _WIN32  // Linux stands the folders in for Windows's through the environment
TEST_F(PathMacros, WindowsAndSystemFoldersFollowTheEnvironment) {
  EXPECT_EQ(engine_.ExpandMacros("{WIN}\\notepad.exe"), "/srv/kavrel/windows\\notepad.exe");
  EXPECT_EQ(engine_.ExpandMacros("{SYS}\\a.dll"), "/srv/kavrel/system32\\a.dll");
  {
    TScopedEnv unset("KAVREL_WINDIR", std::nullopt);
    TScopedEnv empty("KAVREL_SYSDIR", "");
    EXPECT_EQ(engine_.ExpandMacros("{WIN}"), "/usr/local/share");
    EXPECT_EQ(engine_.ExpandMacros("{SYS}"), "/usr/local/lib");
  }
}
#endif

TEST_F(PathMacros, NamesMatchWithoutCase) {
  const std::string expected = win + "\\notepad.exe";
  EXPECT_EQ(engine_.ExpandMacros("{win}\\notepad.exe"), expected);
  EXPECT_EQ(engine_.ExpandMacros("{Win}\\notepad.exe"), expected);
  EXPECT_EQ(engine_.ExpandMacros("{WIN}\\notepad.exe"), expected);
}

TEST_F(PathMacros, TextsThatStayAsTheyAre) {
  for (const char* text : {"{XYZ}\\a.exe", "{}", "{APP", "x{APP\\a.exe", "{{WIN}", "{ WIN}",
                           "{WIN }", "no macros at all", "", "}", "{"})
    EXPECT_EQ(engine_.ExpandMacros(text), text) << text;
}

TEST_F(PathMacros, EveryMacroInATextIsExpanded) {
  EXPECT_EQ(engine_.ExpandMacros("{WIN};{SYS}"), win + ";" + sys);
  EXPECT_EQ(engine_.ExpandMacros("a{WIN}b{SYS}c"), "a" + win + "b" + sys + "c");
  // After an unknown macro, a closing brace or a lone one, the walk goes on.
  EXPECT_EQ(engine_.ExpandMacros("{XYZ}{WIN}"), "{XYZ}" + win);
  EXPECT_EQ(engine_.ExpandMacros("}{WIN}"), "}" + win);
  EXPECT_EQ(engine_.ExpandMacros("{}{WIN}"), "{}" + win);
}

TEST_F(PathMacros, ManyMacrosInOneText) {
  // A component list naming every file through {APP}.
  TTempDir dir;
  TScopedCurrentDir cwd(dir.Path());
  const std::string app = std::filesystem::canonical(dir.Path()).string();
  std::string text, expected;
  for (int i = 0; i < 200; ++i) {
    text += "{APP}\\f" + std::to_string(i) + ".dll;";
    expected += app + "\\f" + std::to_string(i) + ".dll;";
  }
  EXPECT_EQ(engine_.ExpandMacros(text), expected);
}

TEST_F(PathMacros, AppIsTheCurrentFolder) {
  TTempDir dir;
  TScopedCurrentDir cwd(dir.Path());
  const std::string app = std::filesystem::canonical(dir.Path()).string();
  EXPECT_EQ(engine_.ExpandMacros("{APP}\\app.exe"), app + "\\app.exe");
  std::filesystem::create_directory(dir.File("sub"));
  TScopedCurrentDir sub(dir.File("sub"));
  EXPECT_EQ(engine_.ExpandMacros("{app}\\app.exe"), app + kSep + "sub\\app.exe");
}

#ifndef _WIN32  // the documents folder follows $HOME; Windows asks the shell
TEST_F(PathMacros, TempAndDocumentsFolders) {
  TTempDir dir;
  TScopedEnv tmp("TMPDIR", dir.Path() + "/");
  TScopedEnv home("HOME", dir.Path());
  TScopedEnv xdg("XDG_CONFIG_HOME", dir.File("config"));
  std::filesystem::create_directory(dir.File("Documents"));
  EXPECT_EQ(engine_.ExpandMacros("{TMP}\\x"), dir.Path() + "\\x");
  EXPECT_EQ(engine_.ExpandMacros("{DOC}\\x"), dir.Path() + "/Documents\\x");

  // Without any documents folder the empty text is shaped into ".".
  TScopedEnv noHome("HOME", std::nullopt);
  EXPECT_EQ(engine_.ExpandMacros("{DOC}\\x"), ".\\x");
}
#endif

TEST_F(PathMacros, ConvertPrefixRunsFirst) {
  TTempDir dir;
  test::TScopedTempFolder tmp(dir.Path());
  std::vector<std::string> seen;
  engine_.OnConvertPrefix = [&](TKavrel& sender, std::string& path) {
    EXPECT_EQ(&sender, &engine_);
    seen.push_back(path);
    if (path.rfind("%TEMP%", 0) == 0) path = "{TMP}" + path.substr(6);
  };
  EXPECT_EQ(engine_.ExpandMacros("%TEMP%\\setup.exe"), dir.Path() + "\\setup.exe");
  EXPECT_EQ(engine_.ExpandMacros("{WIN}"), win);
  EXPECT_EQ(seen, (std::vector<std::string>{"%TEMP%\\setup.exe", "{WIN}"}));
}

#ifndef _WIN32  // Windows has the one machine registry, not hive files
TEST_F(PathMacros, ProgramFilesFromTheMachineHive) {
  TTempDir registry;
  TScopedEnv hive("KAVREL_REGISTRY_DIR", registry.Path());

  // No hive at all, or a hive without the key: the built-in folder.
  EXPECT_EQ(engine_.ExpandMacros("{PF}\\x"), "/opt\\x");
  test::WriteFile(registry.File("HKEY_LOCAL_MACHINE.ini"), "[Software\\Other]\nA=B\n");
  EXPECT_EQ(engine_.ExpandMacros("{PF}\\x"), "/opt\\x");

  test::WriteFile(registry.File("HKEY_LOCAL_MACHINE.ini"),
                  "[Software\\Microsoft\\Windows\\CurrentVersion]\r\n"
                  "ProgramFilesDir=/srv/programs/\r\n");
  EXPECT_EQ(engine_.ExpandMacros("{pf}\\x"), "/srv/programs\\x");

  // The key is there but holds no ProgramFilesDir: the empty text, shaped.
  test::WriteFile(registry.File("HKEY_LOCAL_MACHINE.ini"),
                  "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\nOther=1\r\n");
  EXPECT_EQ(engine_.ExpandMacros("{PF}\\x"), ".\\x");
}
#endif

// An engine that knows macros of its own, some naming themselves.
class TMacroEngine : public TKavrel {
 public:
  std::map<std::string, std::string> values;
  int lookups = 0;
  void LookupMacro(const std::string& Name, std::string& Value) override {
    ++lookups;
    if (auto it = values.find(Name); it != values.end())
      Value = it->second;
    else
      TKavrel::LookupMacro(Name, Value);
  }
};

TEST_F(PathMacros, DerivedEngineMacrosMayUseOtherMacros) {
  TMacroEngine engine;
  engine.values = {{"ROOT", "{WIN}\\sub"}, {"DEEP", "{ROOT}\\deeper"}};
  EXPECT_EQ(engine.ExpandMacros("{deep}\\f.txt"), win + "\\sub\\deeper\\f.txt");
  // The name handed over is in upper case.
  engine.values = {{"Lower", "never"}};
  EXPECT_EQ(engine.ExpandMacros("{Lower}"), "{Lower}");
}

TEST_F(PathMacros, SelfNamingValuesEnd) {
  TMacroEngine engine;
  engine.values = {{"SELF", "{SELF}x"}, {"A", "a{B}"}, {"B", "b{A}"}, {"TWICE", "{TWICE}{TWICE}"}};
  for (const char* text : {"{SELF}", "pre {A} post", "{TWICE}", "{SELF};{WIN}"}) {
    engine.lookups = 0;
    const std::string result = engine.ExpandMacros(text);
    EXPECT_FALSE(result.empty()) << text;
    EXPECT_LT(engine.lookups, 100000) << text;
  }
  // The text around a self-naming macro survives.
  const std::string result = engine.ExpandMacros("pre {A} post");
  EXPECT_EQ(result.rfind("pre a", 0), 0u) << result;
  EXPECT_EQ(result.substr(result.size() - 5), " post") << result;
}

TEST(MacroPathForm, FoldersAsMacroValues) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\Windows", "C:\\Windows"},
      {"C:\\Windows\\", "C:\\Windows"},
      {"C:\\", "C:\\."},
      {"\\\\server\\share", "\\\\server\\share" + kSep + "."},
      {"", "."},
#ifdef _WIN32
      // Without a drive, a path from the root is one of the current drive's.
      {"\\usr\\share", "\\usr\\share\\."},
#else
      {"/usr/share", "/usr/share"},
      {"/usr/share/", "/usr/share"},
      {"/", "/."},
#endif
      {"relative", "relative" + kSep + "."},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(MacroPathForm(path), expected) << path;
}

TEST(PathHelpers, AddBackslash) {
  EXPECT_EQ(AddBackslash(""), "");
  EXPECT_EQ(AddBackslash("dir"), "dir" + kSep);
  EXPECT_EQ(AddBackslash("C:\\dir\\"), "C:\\dir\\");
  EXPECT_EQ(AddBackslash("/usr/"), "/usr/");
}

TEST(PathHelpers, PosNoCase) {
  EXPECT_EQ(PosNoCase("app.exe_new", "A.DLL;App.Exe_NEW"), 7u);
  EXPECT_EQ(PosNoCase("a.dll", "A.DLL;App.Exe_NEW"), 1u);
  EXPECT_EQ(PosNoCase("b.dll", "A.DLL;App.Exe_NEW"), 0u);
  EXPECT_EQ(PosNoCase("longer than the text", "short"), 0u);
  // An empty name occurs nowhere, so it never marks an application component.
  EXPECT_EQ(PosNoCase("", "A.DLL"), 0u);
  EXPECT_EQ(PosNoCase("", ""), 0u);
}

TEST(PathHelpers, DirExists) {
  TTempDir dir;
  test::WriteFile(dir.File("file"), "x");
  EXPECT_TRUE(DirExists(dir.Path()));
  EXPECT_TRUE(DirExists(dir.Path() + "\\"));
  EXPECT_FALSE(DirExists(dir.File("file")));
  EXPECT_FALSE(DirExists(dir.File("missing")));
  EXPECT_FALSE(DirExists(""));
}

TEST(ExpandLineBreaks, OnlyBackslashNIsAnEscape) {
  EXPECT_EQ(ExpandLineBreaks("a\\nb"), "a\rb");
  EXPECT_EQ(ExpandLineBreaks("\\n\\n"), "\r\r");
  EXPECT_EQ(ExpandLineBreaks("a\\tb\\N\\r"), "a\\tb\\N\\r");
  EXPECT_EQ(ExpandLineBreaks("\\\\n"), "\\\r");
  EXPECT_EQ(ExpandLineBreaks("end\\"), "end\\");
  EXPECT_EQ(ExpandLineBreaks(""), "");
}

}  // namespace
}  // namespace kavrel
