#include "UpdateLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <regex>

#include "Errors.h"
#include "Folders.h"
#include "Kavrel.h"
#include "PathNames.h"
#include "System.h"
#include "TestSupport.h"

namespace kavrel {
namespace {

#ifndef _WIN32
using test::ModeOf;
#endif
using test::ReadFile;
using test::TScopedCurrentDir;
using test::TScopedEnv;
using test::TTempDir;
using test::WriteFile;

const TDateTime kWhen = EncodeDateTime(TDateParts{2009, 3, 21, 14, 2, 37, 0});

TEST(UpdateLogLine, FixedTimeAndSlashColonSeparators) {
  EXPECT_EQ(FormatLogLine(kWhen, TFormatSettings{}, 926, "Update control file found", 3, 0),
            "21/03/2009 14:02:37 : [926] Update control file found (Status:3) (Error:0)");
}

TEST(UpdateLogLine, UserSeparatorsButAFixedOrder) {
  TFormatSettings settings;
  settings.DateSeparator = '.';
  settings.TimeSeparator = '-';
  // The user's own patterns do not change the order of the time stamp.
  settings.ShortDateFormat = "yyyy/mm/dd";
  settings.LongTimeFormat = "h:n:s am/pm";
  EXPECT_EQ(FormatLogLine(kWhen, settings, 926, "Update control file found", 3, 0),
            "21.03.2009 14-02-37 : [926] Update control file found (Status:3) (Error:0)");
  settings.DateSeparator = '-';
  settings.TimeSeparator = '.';
  EXPECT_EQ(FormatLogLine(EncodeDateTime(TDateParts{2010, 1, 5, 9, 5, 3, 999}), settings, 976,
                          "System error : 12029", 1, -12029),
            "05-01-2010 09.05.03 : [976] System error : 12029 (Status:1) (Error:-12029)");
}

// Each test gets a folder to work in, a home with a Documents folder, and
// leaves the process-wide log name and regional settings as it found them.
// (Windows names the user's documents folder itself, whatever HOME says: the
// tests there use it and remove the log they leave in it.)
class UpdateLog : public testing::Test {
 protected:
  void SetUp() override { savedName_ = CurrentLogName(); }
  void TearDown() override {
    SetCurrentLogName(savedName_);
    platform::OverrideUserFormatSettings(std::nullopt);
#ifdef _WIN32
    std::error_code ignored;
    std::filesystem::remove(Documents() + "/run.log", ignored);
#endif
  }
#ifdef _WIN32
  std::string Documents() const { return platform::DocumentsFolder(); }
#else
  std::string Documents() const { return home_.File("Documents"); }
#endif

  TTempDir home_;
  TTempDir work_;
  TScopedEnv homeEnv_{"HOME", home_.Path()};
  TScopedEnv xdgEnv_{"XDG_CONFIG_HOME", home_.File(".config")};
  std::string savedName_;
  bool made_ = std::filesystem::create_directory(Documents());
  TScopedCurrentDir cwd_{work_.Path()};
};

TEST_F(UpdateLog, BareNameLiesInTheDocumentsFolder) {
  SetCurrentLogName("run.log");
  EXPECT_EQ(LogFilePath("run.log"), Documents() + platform::kNativeSeparator + "run.log");
  LogWriteLine("first");
  EXPECT_EQ(ReadFile(Documents() + "/run.log"), "first\r\n");
  EXPECT_FALSE(std::filesystem::exists(work_.File("run.log")));
}

TEST_F(UpdateLog, NameWithAPathCharacterIsUsedAsItIs) {
  std::filesystem::create_directory(work_.File("logs"));
  for (const char* name : {"logs\\back.log", "logs/fore.log", "c:colon.log", "./dot.log"}) {
    SetCurrentLogName(name);
    EXPECT_EQ(LogFilePath(name), name);
    LogWriteLine(name);
  }
  EXPECT_EQ(ReadFile(work_.File("logs/back.log")), "logs\\back.log\r\n");
  EXPECT_EQ(ReadFile(work_.File("logs/fore.log")), "logs/fore.log\r\n");
#ifdef _WIN32
  // A name of a drive and no separator lies in that drive's current folder.
  EXPECT_EQ(ReadFile(work_.File("colon.log")), "c:colon.log\r\n");
  for (const char* name : {"back.log", "fore.log", "colon.log", "dot.log", "c:colon.log"})
    EXPECT_FALSE(std::filesystem::exists(Documents() + "/" + name)) << name;
#else
  EXPECT_EQ(ReadFile(work_.File("c:colon.log")), "c:colon.log\r\n");
  EXPECT_TRUE(std::filesystem::is_empty(Documents()));
#endif
  EXPECT_EQ(ReadFile(work_.File("dot.log")), "./dot.log\r\n");
}

#ifndef _WIN32  // Windows always names a documents folder of the user's
TEST_F(UpdateLog, WithoutADocumentsFolderTheNameAloneIsUsed) {
  TScopedEnv noHome("HOME", std::nullopt);
  EXPECT_EQ(LogFilePath("KAVREL.LOG"), "KAVREL.LOG");
  SetCurrentLogName("KAVREL.LOG");
  LogWriteLine("here");
  EXPECT_EQ(ReadFile(work_.File("KAVREL.LOG")), "here\r\n");
}
#endif

TEST_F(UpdateLog, LinesAreAppendedWithCrLf) {
  const std::string path = work_.File("append.log");
  test::WriteFile(path, "earlier line\r\n");
  SetCurrentLogName(path);
  LogWriteLine("one");
  LogWriteLine("");
  LogWriteLine("two");
  EXPECT_EQ(ReadFile(path), "earlier line\r\none\r\n\r\ntwo\r\n");
}

TEST_F(UpdateLog, MissingLogIsCreated) {
  const std::string path = work_.File("new.log");
  SetCurrentLogName(path);
  LogWriteLine("created");
  EXPECT_EQ(ReadFile(path), "created\r\n");
#ifndef _WIN32
  EXPECT_EQ(ModeOf(path), 0600u) << "this user's alone";
#endif
}

#ifndef _WIN32  // links and owners as POSIX has them
TEST_F(UpdateLog, NeverWrittenThroughALinkNorOntoAnotherUsersFile) {
  // Another user plants the log's name as a link to a file of this user's.
  const std::string victim = work_.File("victim"), log = work_.File("planted.log");
  WriteFile(victim, "precious");
  ASSERT_EQ(::symlink(victim.c_str(), log.c_str()), 0);
  SetCurrentLogName(log);
  EXPECT_THROW(LogWriteLine("line"), platform::EInOutError);
  ASSERT_EQ(::unlink(log.c_str()), 0);
  ASSERT_EQ(::symlink(work_.File("absent").c_str(), log.c_str()), 0);
  EXPECT_THROW(LogWriteLine("line"), platform::EInOutError) << "a dangling link";
  EXPECT_FALSE(ReadFile(work_.File("absent")));
  EXPECT_EQ(ReadFile(victim), "precious");
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  ASSERT_EQ(::unlink(log.c_str()), 0);
  WriteFile(log, "theirs\r\n");
  ASSERT_EQ(::chown(log.c_str(), 65534, 65534), 0);
  EXPECT_THROW(LogWriteLine("line"), platform::EInOutError);
  EXPECT_EQ(ReadFile(log), "theirs\r\n");
}
#endif

TEST_F(UpdateLog, ReadOnlyLogIsNeverEmptied) {
  const std::string path = work_.File("readonly.log");
  test::WriteFile(path, "precious history\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(work_.Path().c_str(), 0755), 0);  // reachable for an ordinary user
  SetCurrentLogName(path);
  const auto raises = [] {
    try {
      LogWriteLine("more");
    } catch (const platform::EInOutError&) {
      return true;
    }
    return false;
  };
#ifdef _WIN32
  // The read-only attribute holds for every user; but Wine run by the
  // superuser opens such a file for writing all the same.
  const HANDLE probe = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
    ::chmod(path.c_str(), 0644);
    GTEST_SKIP() << "a read-only file opens for writing here (Wine run as root)";
  }
  EXPECT_TRUE(raises()) << "writing a read-only log raises";
  EXPECT_EQ(ReadFile(path), "precious history\r\n");
  ::chmod(path.c_str(), 0644);  // so that the folder can be removed
#else
  // As a user the permissions restrict (the superuser passes them all).
  EXPECT_TRUE(test::RunUnprivileged(raises)) << "writing a read-only log raises";
  EXPECT_EQ(ReadFile(path), "precious history\r\n");
#endif
}

TEST_F(UpdateLog, UnwritableLogPathsRaiseInOutErrors) {
  // A folder where the log should be fails even for the superuser.
  const std::string folder = work_.File("folder.log");
  std::filesystem::create_directory(folder);
  test::WriteFile(folder + "/inside", "kept");
  SetCurrentLogName(folder);
  EXPECT_THROW(LogWriteLine("line"), platform::EInOutError);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(ReadFile(folder + "/inside"), "kept");

  // A log in a folder that does not exist is not created.
  SetCurrentLogName(work_.File("missing/run.log"));
  EXPECT_THROW(LogWriteLine("line"), platform::EInOutError);
  EXPECT_FALSE(std::filesystem::exists(work_.File("missing")));
}

TEST_F(UpdateLog, ReportStatusWritesTheLineThenRaisesOnStatus) {
  TFormatSettings settings;
  settings.DateSeparator = '.';
  settings.TimeSeparator = '-';
  platform::OverrideUserFormatSettings(settings);
  TKavrel engine;
  const std::string path = work_.File("status.log");
  engine.SetLogFileName(path);
  engine.Logging = true;
  std::vector<std::string> events;
  engine.OnStatus = [&](TKavrel& sender, const std::string& text, int status, int error) {
    EXPECT_EQ(&sender, &engine);
    // The line is already in the log when the event is raised.
    const auto content = ReadFile(path);
    ASSERT_TRUE(content.has_value());
    EXPECT_NE(content->find(text), std::string::npos);
    events.push_back(text + "|" + std::to_string(status) + "|" + std::to_string(error));
  };
  engine.ReportStatus(926, "", 3, 0);
  engine.ReportStatus(913, "http://127.0.0.1/a%s.txt", 2, 1);
  engine.ReportStatus(916, "404", 6, 404);
  EXPECT_EQ(events, (std::vector<std::string>{"Update control file found|3|0",
                                              "File not found : http://127.0.0.1/a%s.txt|2|1",
                                              "Http status : 404|6|404"}));
  const std::string stamp = R"(\d\d\.\d\d\.\d{4} \d\d-\d\d-\d\d : )";
  const std::regex expected(
      stamp + R"(\[926\] Update control file found \(Status:3\) \(Error:0\)\r\n)" + stamp +
      R"(\[913\] File not found : http://127\.0\.0\.1/a%s\.txt \(Status:2\) \(Error:1\)\r\n)" +
      stamp + R"(\[916\] Http status : 404 \(Status:6\) \(Error:404\)\r\n)");
  const std::string content = ReadFile(path).value_or("");
  EXPECT_TRUE(std::regex_match(content, expected)) << content;
}

TEST_F(UpdateLog, WithoutLoggingOnlyTheEventIsRaised) {
  TKavrel engine;
  const std::string path = work_.File("quiet.log");
  engine.SetLogFileName(path);
  ASSERT_FALSE(engine.Logging);
  int raised = 0;
  engine.OnStatus = [&](TKavrel&, const std::string& text, int status, int error) {
    ++raised;
    EXPECT_EQ(text, "Update control file not found");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(error, 0);
  };
  engine.ReportStatus(925, "", 2, 0);
  EXPECT_EQ(raised, 1);
  EXPECT_FALSE(std::filesystem::exists(path));
  // Raw lines still reach the log.
  LogWriteLine("Unable to delete file x");
  EXPECT_EQ(ReadFile(path), "Unable to delete file x\r\n");
}

TEST_F(UpdateLog, TheLastNameSetIsTheOneWrittenTo) {
  TKavrel first;
  TKavrel second;
  first.SetLogFileName(work_.File("first.log"));
  second.SetLogFileName(work_.File("second.log"));
  EXPECT_EQ(CurrentLogName(), work_.File("second.log"));
  EXPECT_EQ(first.LogFileName(), work_.File("first.log"));
  first.Logging = true;
  first.ReportStatus(949, "", 3, 0);
  EXPECT_FALSE(std::filesystem::exists(work_.File("first.log")));
  const std::string content = ReadFile(work_.File("second.log")).value_or("");
  EXPECT_NE(content.find("[949] Closed Internet connection (Status:3) (Error:0)\r\n"),
            std::string::npos)
      << content;
}

TEST_F(UpdateLog, AFailingLogEndsReportStatusBeforeTheEvent) {
  TKavrel engine;
  const std::string folder = work_.File("dir.log");
  std::filesystem::create_directory(folder);
  engine.SetLogFileName(folder);
  engine.Logging = true;
  bool raised = false;
  engine.OnStatus = [&](TKavrel&, const std::string&, int, int) { raised = true; };
  EXPECT_THROW(engine.ReportStatus(926, "", 3, 0), platform::EInOutError);
  EXPECT_FALSE(raised);
}

TEST_F(UpdateLog, MessageTextsAndArguments) {
  TKavrel engine;
  const std::string path = work_.File("texts.log");
  engine.SetLogFileName(path);
  engine.Logging = true;
  std::vector<std::string> texts;
  engine.OnStatus = [&](TKavrel&, const std::string& text, int, int) { texts.push_back(text); };

  engine.ReportStatus(12345, "ignored", 1, 2);
  engine.ReportStatus(956, "Authentication cancelled", 0, 0);
  engine.ReportStatus(968, "Non threaded update", 0, 0);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "");
  EXPECT_EQ(texts[1], "Authentication cancelled");
  EXPECT_EQ(texts[2], "Start update : Non threaded update ---------------------------");

  const std::string content = ReadFile(path).value_or("");
  EXPECT_NE(content.find(" : [12345]  (Status:1) (Error:2)\r\n"), std::string::npos) << content;
  EXPECT_NE(content.find(" : [956] Authentication cancelled (Status:0) (Error:0)\r\n"),
            std::string::npos)
      << content;
  EXPECT_NE(
      content.find(
          " : [968] Start update : Non threaded update --------------------------- (Status:0)"),
      std::string::npos)
      << content;
}

}  // namespace
}  // namespace kavrel

namespace kavrel::test {
namespace {

// A log named like a pipe or a device is refused at once, never waited on.
TEST_F(UpdateLog, LogThatIsNoRegularFileIsRefusedWithoutWaiting) {
#ifdef _WIN32
  // A named pipe that waits for a client, and the null device.
  const std::string fifo = "\\\\.\\pipe\\kavrel-log-" + std::to_string(::GetCurrentProcessId());
  const HANDLE pipe =
      ::CreateNamedPipeA(fifo.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  const std::string device = "NUL";
#else
  const std::string fifo = work_.File("log.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string device = "/dev/null";
#endif
  for (const std::string& name : {fifo, device, work_.Path()}) {
    SetCurrentLogName(name);
    EXPECT_THROW(LogWriteLine("line"), platform::EInOutError) << name;
  }
#ifdef _WIN32
  ::CloseHandle(pipe);
#endif
}

}  // namespace
}  // namespace kavrel::test
