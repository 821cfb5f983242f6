// The kavrel command line as a publisher or a script uses it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ChildProcess.h"
#include "TestServers.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

std::vector<std::string> Lines(const std::string& text, const std::string& end = "\n") {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t stop = text.find(end, start);
    if (stop == std::string::npos) stop = text.size();
    lines.push_back(text.substr(start, stop - start));
    start = stop + end.size();
  }
  return lines;
}

TEST(KavrelRunTest, FileRunPrintsTheStartOfRunMessagesAndAppendsThemToTheLog) {
  TTempDir dir;
  const std::string log = dir.File("update.log");
  WriteFile(log, "earlier line\r\n");
  const TProgramResult r =
      RunProgram({KavrelProgram(), "run", "-p", "UpdateType=fileUpdate", "-p", "Logging=True", "-p",
                  "LogFileName=" + log, "-p", "URL=" + dir.File("missing.ini")},
                 dir.Path());
  ASSERT_EQ(r.ExitCode, 1) << "a control file that cannot be read fails the run: " << r.Err;
  const std::vector<std::string> out = Lines(r.Out);
  ASSERT_GE(out.size(), 6u) << r.Out;
  const std::vector<std::string> idents = {"[968]", "[966]", "[967]", "[969]", "[970]", "[963]"};
  for (std::size_t i = 0; i < idents.size(); ++i)
    EXPECT_EQ(out[i].rfind(idents[i], 0), 0u) << out[i];
  EXPECT_EQ(
      out[0],
      "[968] Start update : Non threaded update --------------------------- (Status:0) (Error:0)");
  EXPECT_EQ(out[5], "[963] Start Kavrel process with version : 2.0.12.0 (Status:0) (Error:0)");

  // The log keeps what it had and gets every printed line, time-stamped, with CR LF.
  const std::vector<std::string> logged = Lines(ReadFile(log).value_or(""), "\r\n");
  ASSERT_EQ(logged.size(), out.size() + 1);
  EXPECT_EQ(logged[0], "earlier line");
  for (std::size_t i = 0; i < out.size(); ++i) {
    ASSERT_GT(logged[i + 1].size(), 22u);
    EXPECT_EQ(logged[i + 1].substr(19, 3), " : ");
    EXPECT_EQ(logged[i + 1].substr(22), out[i]);
  }
}

TEST(KavrelRunTest, UsageErrorsAreRefusedWithStatusTwoAndRunNothing) {
  TTempDir dir;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"run", "-p", "NoSuchProperty=1"}, "NoSuchProperty"},
      {{"run", "-p", "UpdateType=gopherUpdate"}, "UpdateType"},
      {{"run", "-p", "Logging=yes"}, "True or False"},
      {{"run", "-p", "Port=21x"}, "Port"},
      {{"run", "-p", "DateSeparator=ab"}, "one character"},
      {{"run", "-p", "Logging"}, "NAME=VALUE"},
      {{"run", "--answers", "maybe"}, "maybe"},
      {{"run", "extra"}, "operand"},
      {{"fly"}, "fly"},
  };
  for (const auto& [args, mention] : cases) {
    std::vector<std::string> argv = {KavrelProgram()};
    argv.insert(argv.end(), args.begin(), args.end());
    const TProgramResult r = RunProgram(argv, dir.Path());
    SCOPED_TRACE(args.back());
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Out, "") << "nothing may run";
    EXPECT_NE(r.Err.find(mention), std::string::npos) << r.Err;
  }
}

TEST(KavrelRunTest, AnErrorThatEndsTheRunGivesStatusOne) {
  TTempDir dir;
  // A log that is a folder cannot be written, even by the superuser.
  const std::string log = dir.File("logdir");
  WriteFile(dir.File("logdir/keep"), "");
  const TProgramResult r = RunProgram(
      {KavrelProgram(), "run", "-p", "Logging=True", "-p", "LogFileName=" + log}, dir.Path());
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find(log), std::string::npos) << r.Err;
}

TEST(KavrelToolboxTest, ChecksumAndVersionCommandsAnswerOnTheirOutput) {
  TTempDir dir;
  WriteFile(dir.File("abc"), "abc");
  const TProgramResult sum = RunProgram({KavrelProgram(), "checksum", dir.File("abc")}, dir.Path());
  EXPECT_EQ(sum.ExitCode, 0);
  EXPECT_EQ(sum.Out, "293\n");
  const TProgramResult crc =
      RunProgram({KavrelProgram(), "checksum", "--crc32", dir.File("abc")}, dir.Path());
  EXPECT_EQ(crc.Out, "1821220161\n");
  const TProgramResult none = RunProgram({KavrelProgram(), "version", dir.File("abc")}, dir.Path());
  EXPECT_EQ(none.ExitCode, 1);
  EXPECT_EQ(none.Out, "");
}

TEST(KavrelToolboxTest, PathsWithLettersOfAnyLanguageArriveWhole) {
  TTempDir dir;
  const std::string name = "D\xC3\xA9mo \xE6\x97\xA5\xE6\x9C\xAC";  // "Démo 日本", UTF-8
  const TProgramResult made = RunProgram({KavrelProgram(), "keygen", "-W", "-p",
                                          dir.File(name + ".pub"), "-s", dir.File(name + ".key")},
                                         dir.Path());
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    const std::u8string utf8 = entry.path().filename().u8string();
    names.emplace_back(utf8.begin(), utf8.end());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{name + ".key", name + ".pub"}));
}

TEST(KavrelFetchTest, FetchesOverEachTransportAndRefusesBrokenTransfers) {
  TTempDir www, target, tmp;
  WriteFile(www.File("pub/app.exe"), GeneratedBytes(50000));
  THttpTestServer http(www.Path());
  TFtpTestServer ftp(www.Path(), "user", "secret");
  const TEnvironment env = RunEnvironment({.Temp = tmp.Path()});
  const std::string into = target.File("");

  TProgramResult r =
      RunProgram({KavrelProgram(), "fetch", http.Url("pub/app.exe"), into}, target.Path(), env);
  EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_EQ(ReadFile(target.File("app.exe")), GeneratedBytes(50000));

  const std::vector<std::string> overFtp = {KavrelProgram(),
                                            "fetch",
                                            "-p",
                                            "UpdateType=ftpUpdate",
                                            "-p",
                                            "Host=127.0.0.1",
                                            "-p",
                                            "Port=" + std::to_string(ftp.Port()),
                                            "-p",
                                            "UserID=user",
                                            "-p",
                                            "Password=secret",
                                            "-p",
                                            "FTPPassive=True",
                                            "-p",
                                            "FTPDirectory=pub",
                                            "app.exe",
                                            target.File("ftp") + "/"};
  r = RunProgram(overFtp, target.Path(), env);
  EXPECT_EQ(r.ExitCode, 1) << "the target folder does not exist yet";
  WriteFile(target.File("ftp/keep"), "");
  r = RunProgram(overFtp, target.Path(), env);
  EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_NE(r.Out.find("[974] Change FTP directory to : pub"), std::string::npos);
  EXPECT_EQ(ReadFile(target.File("ftp/app.exe")), GeneratedBytes(50000));

  r = RunProgram({KavrelProgram(), "fetch", "-p", "UpdateType=fileUpdate", www.File("pub/app.exe"),
                  target.File("copy.exe")},
                 target.Path(), env);
  EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_EQ(ReadFile(target.File("copy.exe")), GeneratedBytes(50000));

  WriteFile(target.File("big.bin"), "old");
  r = RunProgram({KavrelProgram(), "fetch", http.Url("short-100/gen/5000/big.bin"), into},
                 target.Path(), env);
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(ReadFile(target.File("big.bin")), "old");
  r = RunProgram({KavrelProgram(), "fetch", http.Url("missing/big.bin"), into}, target.Path(), env);
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Out.find("[916] Http status : 404 (Status:6) (Error:404)"), std::string::npos);
  EXPECT_EQ(ReadFile(target.File("big.bin")), "old");
}

// A reader that goes away early does not end the run in its middle: the run
// closes its connection and removes the control file's copy as always.
TEST(KavrelRunTest, RunGoesOnToItsEndWhenItsOutputIsClosed) {
  TTempDir www, temp;
  THttpTestServer server(www.Path());
  WriteFile(www.File("update.ini"), ControlFile({}));
  const TEnvironment env = RunEnvironment({.Temp = temp.Path(), .Home = temp.Path()});
#ifdef _WIN32
  // Windows has no shell pipeline: the test itself is the reader, and goes
  // after the first output.
  TRunningProgram run({KavrelProgram(), "run", "-p", "URL=" + server.Url("update.ini")},
                      temp.Path(), env);
  ASSERT_TRUE(run.WaitForOutput("[", std::chrono::seconds(30)));
  run.CloseOutput();
  const TProgramResult r = run.Wait();
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
#else
  const TProgramResult r = RunProgram(
      {"/bin/bash", "-c",
       "set -o pipefail; \"$0\" run -p URL=\"$1\" | head -c 1 > /dev/null; echo \"status $?\"",
       KavrelProgram(), server.Url("update.ini")},
      temp.Path(), env);
  EXPECT_EQ(r.Out, "status 0\n") << r.Err;
#endif
  EXPECT_FALSE(ReadFile(temp.File("update.ini"))) << "the control file's copy stays behind";
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
}  // namespace kavrel::test
