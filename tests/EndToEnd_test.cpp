// Whole runs of the kavrel program against a local update server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "IniDocument.h"
#include "InstallationRun.h"
#include "Registry.h"

namespace kavrel::test {
namespace {

std::vector<std::string> StatusLines(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < out.size()) {
    std::size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    lines.push_back(out.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The message numbers of the status lines, with "[file]" lines kept as they are.
std::vector<std::string> Idents(const std::string& out) {
  std::vector<std::string> idents;
  for (const std::string& line : StatusLines(out))
    idents.push_back(line.rfind("[file]", 0) == 0 ? line : line.substr(0, line.find(']') + 1));
  return idents;
}

using EndToEndTest = TInstallationRun;

TEST_F(EndToEndTest, ScriptedRunGoesThroughEveryInstructionTextAndTheFinish) {
#ifdef _WIN32
  // Windows runs no shell script: the program is the argument recorder, and
  // the last update is remembered in the user's own registry.
  const std::string after = CopyRecorder(app.File("after.exe"));
  DeleteUserRegistryKey("Software\\Kavrel\\Test");
#else
  const std::string after = app.File("after.sh");
  WriteScript(after, "echo \"$1\" > \"" + app.File("after.out") + "\"");
#endif
  WriteFile(www.File("news.txt"), "Faster\n");
  WriteFile(www.File("eula.txt"), "Terms\n");
  Publish({{"url=" + server.Url("gen/10/a.bin"), "descr=Program"},
           {"url=" + server.Url("gen/10/b.bin")}},
          "[action]\r\nmsg=Welcome\\nto 2.0\r\nquery=Install now?\r\nupdateURL=" +
              server.Url("next.ini") + "\r\nrunafter=" + after +
              " finished\r\n[whatsnew]\r\nfile=" + server.Url("news.txt") +
              "\r\n[eula]\r\nfile=" + server.Url("eula.txt") + "\r\n");
  const std::vector<std::string> remember = {"LastURLEntry.Key=Software\\Kavrel\\Test",
                                             "LastURLEntry.Section=Update",
                                             "LastURLEntry.Save=True"};
  std::vector<std::string> properties = {
      "PostUpdateInfo.Enabled=True",
      "PostUpdateInfo.Server=127.0.0.1:" + std::to_string(server.Port()),
      "PostUpdateInfo.Action=/echo/report", "PostUpdateInfo.Data=result=updated"};
  properties.insert(properties.end(), remember.begin(), remember.end());
  std::vector<std::string> args = {
      KavrelProgram(),     "run",         "-p", "URL=" + server.Url("update.ini"), "--answers",
      "yes,ok,accept,yes", "--list-files"};
  for (const std::string& p : properties) args.insert(args.end(), {"-p", p});
  const TProgramResult r = RunProgram(args, app.Path(), Environment());
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(
      Idents(r.Out),
      (std::vector<std::string>{
          "[968]", "[966]",          "[967]", "[969]", "[970]", "[963]", "[918]", "[921]", "[915]",
          "[926]", "[934]",          "[936]", "[937]", "[915]", "[939]", "[915]", "[943]", "[971]",
          "[971]", "[file] Program", "[915]", "[941]", "[948]", "[949]", "[949]"}))
      << r.Out;
  EXPECT_NE(r.Err.find("[box] Welcome\n  to 2.0"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("[question] Install now?"), std::string::npos);
  EXPECT_NE(r.Err.find("[whatsnew] \n  Faster"), std::string::npos);
  EXPECT_NE(r.Err.find("[license] \n  Terms"), std::string::npos);

  bool posted = false;
  for (const TRecordedRequest& request : server.Requests())
    if (request.Method == "POST" && request.Path == "/echo/report" &&
        request.Body == "result=updated")
      posted = true;
  EXPECT_TRUE(posted);
#ifdef _WIN32
  EXPECT_EQ(WaitForFile(after + ".out"), "finished\n");
  const auto remembered =
      platform::OpenRegistryKey(platform::TRegRoot::CurrentUser, "Software\\Kavrel\\Test\\Update",
                                platform::TRegAccess::Read, false);
  ASSERT_TRUE(remembered);
  EXPECT_EQ(remembered->ReadString("LastURL"), server.Url("next.ini"));
#else
  EXPECT_EQ(WaitForFile(app.File("after.out")), "finished\n");
  const TIniDocument hive =
      TIniDocument::Parse(ReadFile(hives.File("HKEY_CURRENT_USER.ini")).value_or(""));
  EXPECT_EQ(hive.Find("Software\\Kavrel\\Test\\Update", "LastURL"), server.Url("next.ini"));
#endif

  // The next run fetches the control file from the remembered address.
  WriteFile(www.File("next.ini"), "[update]\r\n");
  server.ClearRequests();
  const TProgramResult second = Run(remember);
  ASSERT_EQ(second.ExitCode, 5) << "no update needed: " << second.Err;
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Path, "/next.ini");
#ifdef _WIN32
  DeleteUserRegistryKey("Software\\Kavrel\\Test");
#endif
}

TEST_F(EndToEndTest, RefusalsEndTheRunWithoutTheFinish) {
  WriteFile(www.File("news.txt"), "Faster\n");
  WriteFile(www.File("eula.txt"), "Terms\n");
  Publish({{"url=x"}}, "[action]\r\nquery=Go?\r\n[whatsnew]\r\nfile=" + server.Url("news.txt") +
                           "\r\n[eula]\r\nfile=" + server.Url("eula.txt") + "\r\n");
  for (const std::string answers : {"no", "yes,cancel"}) {
    SCOPED_TRACE(answers);
    const TProgramResult r = Run({}, answers);
    ASSERT_EQ(r.ExitCode, 4) << "declined: " << r.Err;
    EXPECT_EQ(r.Out.find("[943]"), std::string::npos);
    EXPECT_EQ(r.Out.find("[948]"), std::string::npos);
    EXPECT_EQ(r.Err.find("[license]"), std::string::npos) << "never shown after a refusal";
    if (answers == "yes,cancel") {
      // The refused what's-new text still lets the licence be fetched.
      EXPECT_NE(r.Out.find("[938] Whatsnew not accepted (Status:14)"), std::string::npos);
      EXPECT_NE(r.Out.find("[939]"), std::string::npos);
    }
  }
}

TEST_F(EndToEndTest, EachKindOfControlFileGivesItsMessages) {
  WriteFile(app.File("app.dat"), "abc");
  const std::string local = "localversion=" + app.File("app.dat") + "\r\n";
  struct TCase {
    std::string update;
    std::vector<std::string> expected;  // in this order, after [926]
    int status = 0;                     // updated, 5: no update needed, 1: failed
  };
  const std::vector<TCase> cases = {
      {"date=01/01/2030\r\n", {"[928]", "[929] New version found : ", "[943]"}},
      {"date=01/01/1975\r\n", {"[928]", "[930]", "[949]"}, 5},  // not after 1 January 1980
      {"unconditional=0\r\n", {"[943]"}},
      {local + "newsize=9\r\n", {"[932]", "[929]", "[943]"}},
      {local + "newsize=3\r\n", {"[932]", "[930]", "[949]"}, 5},
      {local + "newchecksum=1\r\nnewsize=3\r\n", {"[931]", "[929]", "[943]"}},
      {local + "newversion=1.0\r\n",
       {"[933]", "[944] Version check : Version compare of ", "[930]", "[949]"},
       5},
      {"signature=kavrel\r\nunconditional=1\r\n", {"[927]", "[949]"}, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.update);
    const std::string signature =
        c.update.find("signature=") == std::string::npos ? "signature=Kavrel\r\n" : "";
    WriteFile(www.File("update.ini"),
              "[update]\r\n" + signature + c.update +
                  "[files]\r\ncount=1\r\n[file1]\r\nurl=" + server.Url("gen/1/x") + "\r\n");
    const TProgramResult r = Run({"SignatureCheck=True"});
    ASSERT_EQ(r.ExitCode, c.status) << r.Err;
    std::size_t at = r.Out.find("[926]");
    ASSERT_NE(at, std::string::npos) << r.Out;
    for (const std::string& piece : c.expected) {
      at = r.Out.find(piece, at);
      ASSERT_NE(at, std::string::npos) << piece << " in\n" << r.Out;
    }
  }
}

}  // namespace
}  // namespace kavrel::test
