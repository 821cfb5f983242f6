// Updates as transactions: whole self-updates (files the run places, a
// component the stub copies, the application restarted) killed after each
// journal record in turn, failing a step, or restarting a new version that
// fails its health check. Afterwards the installation is byte for byte the
// old one or the new one.
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "CabinetImage.h"
#include "InstallationRun.h"
#include "Processes.h"
#include "StubHandoff.h"
#include "Text.h"
#include "UpdateLog.h"

namespace kavrel::test {
namespace {

using TSnapshot = std::map<std::string, std::string>;

class TransactionTest : public TInstallationRun {
 protected:
  TransactionTest() {
    std::filesystem::create_directories(home.File("Documents"));
    std::filesystem::copy_file(KAVREL_TEST_APP1_PATH, app.File("app.exe"));
    WriteFile(app.File("a.dat"), "old a");
    std::filesystem::copy_file(KAVREL_TEST_APP2_PATH, www.File("app.exe_NEW"));
    WriteFile(www.File("a.dat"), "new a");
    WriteFile(www.File("b.dat"), "new b");
    ExtraEnvironment = {{"KAVREL_TEST_RECORD", record.File("record")}};
    ClearLog();
    old = Snapshot();
    fresh = {{"a.dat", "new a"},
             {"b.dat", "new b"},
             {"app.exe", ReadFile(KAVREL_TEST_APP2_PATH).value()}};
  }

  // The run places a.dat (replaced) and b.dat (new); the stub copies the
  // program; `application` adds to the control file's [application],
  // `update` to its [update].
  void PublishUpdate(const std::string& application = "", const std::string& update = "") {
    Publish({{"url=" + server.Url("a.dat"), "targetdir=" + app.Path()},
             {"url=" + server.Url("b.dat"), "targetdir=" + app.Path()},
             {"url=" + server.Url("app.exe_NEW")}},
            update +
                "[application]\r\nappupdate=1\r\nappname=app.exe\r\nappcomps=app.exe_NEW\r\n"
                "silentrestart=1\r\n" +
                application);
  }
  // Every file of the installation with its content. A copy the stub was
  // making when it was killed is a temporary file ("KAV….tmp") that the next
  // run to write in the folder sweeps away; it is no installed file.
  TSnapshot Snapshot() const {
    TSnapshot files;
    for (const std::string& f : FilesBelow(app.Path()))
      if (!IsTemporaryName(f)) files[f] = ReadFile(app.File(f)).value();
    return files;
  }
  std::string Journal() const {
    for (const std::string& f : FilesBelow(temp.Path()))
      if (f.size() > 8 && f.compare(f.size() - 8, 8, ".journal") == 0) return temp.File(f);
    return {};
  }
  // Waits until no stub of the update runs any more: the journal is gone, or
  // every process it names has ended and, unless the run was killed, its
  // handoff has the stub's record.
  void WaitForTheStub(bool runKilled = false) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
      const std::string journal = Journal();
      if (journal.empty()) return;
      const std::vector<std::string> lines = FileLines(journal);
      bool running = false, handedOver = false, stub = false;
      for (const std::string& line : lines) {
        const std::size_t blank = line.find(' ');
        const std::string verb = line.substr(0, blank);
        if (verb != "handoff" && verb != "stub") continue;
        (verb == "stub" ? stub : handedOver) = true;
        if (const auto pid = ParseInt32(line.substr(blank + 1)))
          running = running || platform::ProcessRunning(static_cast<std::uint32_t>(*pid));
      }
      if (!running && (!handedOver || stub || runKilled)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the stub did not end";
  }
  // The versions started, in order.
  std::vector<std::string> Starts() const {
    std::vector<std::string> versions;
    for (const std::string& line : FileLines(record.File("record")))
      if (line.rfind("end", 0) != 0) versions.push_back(TabFields(line)[0]);
    return versions;
  }
  std::vector<std::string> WaitForStarts(std::size_t count) const {
    WaitForFileLines(record.File("record"), count);
    return Starts();
  }
  // The update log, the run's and the stub's, outside the installation. A
  // stub with raised rights (every program under Wine) takes no log name from
  // the user's hand-off file: its lines go to the default log.
  std::string LogFile() const { return "LogFileName=" + record.File("KAVREL.LOG"); }
  std::string Log() const {
    std::string text = ReadFile(record.File("KAVREL.LOG")).value_or("");
    if (platform::RunsElevated()) text += ReadFile(LogFilePath(kDefaultLogName)).value_or("");
    return text;
  }
  void ClearLog() const {
    std::filesystem::remove(record.File("KAVREL.LOG"));
    if (platform::RunsElevated()) std::filesystem::remove(LogFilePath(kDefaultLogName));
  }

  TTempDir record;
  TSnapshot old, fresh;
};

TEST_F(TransactionTest, AKillAfterEveryJournalStepLeavesTheOldOrTheNewInstallation) {
  PublishUpdate();
  std::size_t completed = 0, kept = 0;
  for (int step = 1; step <= 30 && completed == 0; ++step) {
    SCOPED_TRACE("killed after record " + std::to_string(step));
    ExtraEnvironment = {{"KAVREL_TEST_RECORD", record.File("record")},
                        {"KAVREL_TEST_KILL_AT_RECORD", std::to_string(step)}};
    const TProgramResult r = Run({"UseWinTempDir=True", "Logging=True", LogFile()});
    WaitForTheStub(r.ExitCode == 137);
    // A run that finds nothing to fetch completes or undoes what was left.
    ExtraEnvironment = {{"KAVREL_TEST_RECORD", record.File("record")}};
    const TProgramResult recovery = Run({"URL=" + server.Url("missing.ini")});
    EXPECT_EQ(recovery.Out.find("[976]"), std::string::npos) << recovery.Out;
    const TSnapshot now = Snapshot();
    std::string names;
    for (const auto& [name, content] : now)
      names += name + (fresh.count(name) && content == fresh.at(name) ? " (new) " : " ");
    EXPECT_TRUE(now == old || now == fresh) << "a mixture of versions: " << names;
    EXPECT_EQ(Journal(), "");
    kept += now == fresh;
    if (!Starts().empty()) completed = step;  // no record of this number: nothing was killed
    // The next round starts from the old installation again.
    for (const auto& [name, content] : fresh) std::filesystem::remove(app.File(name));
    for (const auto& [name, content] : old) WriteFile(app.File(name), content);
    std::filesystem::permissions(app.File("app.exe"), std::filesystem::perms::owner_all);
  }
  // begin, aside and placed for a.dat, fresh and placed for b.dat, handoff,
  // stub, aside and placed for the program, commit: ten kill points.
  EXPECT_EQ(completed, 11u);
  EXPECT_EQ(kept, 2u) << "the new version only once every step was done";
}

TEST_F(TransactionTest, ANewVersionThatFailsToStartIsRolledBackAndNotAppliedAgain) {
  // Each case a newer update: the one before was rolled back.
  const struct {
    const char* how;
    const char* why;
    const char* date;
  } cases[] = {{"exit", "ended with exit status 1 within 5 s", "01/02/2030"},
#ifdef _WIN32
               {"crash", "ended with exception 0xC0000005 within 5 s", "01/03/2030"}};
#else
               {"crash", "ended with signal 11 within 5 s", "01/03/2030"}};
#endif
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    PublishUpdate("healthcheck=5\r\n", "date=" + std::string(c.date) + "\r\n");
    ExtraEnvironment = {{"KAVREL_TEST_RECORD", record.File("record")},
                        {"KAVREL_TEST_FAIL_VERSION", "2"},
                        {"KAVREL_TEST_FAIL_HOW", c.how}};
    ASSERT_EQ(Run({"UseWinTempDir=True", "Logging=True", LogFile()}).ExitCode, 0);
    // The new version started and failed; the old one runs again.
    EXPECT_EQ(WaitForStarts(2), (std::vector<std::string>{"2", "1"}));
    WaitForTheStub();
    EXPECT_EQ(Snapshot(), old);
    EXPECT_NE(Log().find("Upd update rolled back : the new version " + std::string(c.why)),
              std::string::npos)
        << Log();
    // The next run tells why, and does not apply the same update again.
    const TProgramResult next = Run({"UseWinTempDir=True"});
    EXPECT_EQ(next.ExitCode, 5) << next.Out;
    EXPECT_NE(next.Out.find("[988] Update rolled back : " + server.Url("update.ini") +
                            ": the new version " + c.why),
              std::string::npos)
        << next.Out;
    EXPECT_NE(next.Out.find("[990] Update not applied again, it was rolled back"),
              std::string::npos);
    EXPECT_EQ(Snapshot(), old);
    std::filesystem::remove(record.File("record"));
    ClearLog();
  }
  // A newer update is applied again.
  PublishUpdate("", "date=01/04/2030\r\n");
  ExtraEnvironment = {{"KAVREL_TEST_RECORD", record.File("record")}};
  ASSERT_EQ(Run({"UseWinTempDir=True"}).ExitCode, 0);
  EXPECT_EQ(WaitForStarts(1), std::vector<std::string>{"2"});
  WaitForTheStub();
  EXPECT_EQ(Snapshot(), fresh);
}

TEST_F(TransactionTest, AHealthyNewVersionKeepsTheUpdateAndItsBackupsGo) {
  const struct {
    const char* what;
    std::string application;
    TEnvironment env;
    bool kept;
  } cases[] = {
      {"keeps running", "healthcheck=2\r\n", {{"KAVREL_TEST_LINGER", "4000"}}, true},
      {"confirms",
       "healthcheck=3\r\nconfirm=1\r\n",
       {{"KAVREL_TEST_LINGER", "5000"}, {"KAVREL_TEST_CONFIRM", KavrelProgram()}},
       true},
      {"never confirms", "healthcheck=2\r\nconfirm=1\r\n", {{"KAVREL_TEST_LINGER", "5000"}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PublishUpdate(c.application);
    ExtraEnvironment = c.env;
    ExtraEnvironment.insert(ExtraEnvironment.end(), {{"KAVREL_TEST_RECORD", record.File("record")},
                                                     {"KAVREL_TEST_WATCHED", record.File("none")}});
    ASSERT_EQ(Run({"UseWinTempDir=True", "Logging=True", LogFile()}).ExitCode, 0);
    WaitForStarts(c.kept ? 1 : 2);
    WaitForTheStub();
    EXPECT_EQ(Snapshot(), c.kept ? fresh : old) << Log();
    const std::vector<std::string> starts =
        c.kept ? std::vector<std::string>{"2"} : std::vector<std::string>{"2", "1"};
    EXPECT_EQ(Starts(), starts);
    EXPECT_EQ(
        Log().find("the new version did not confirm its start within 2 s") != std::string::npos,
        !c.kept)
        << Log();
    EXPECT_EQ(Journal(), "") << "the backups go with the journal";
    // The program that runs on ends ("end" line) before the next case puts
    // the old installation back.
    WaitForFileLines(record.File("record"), starts.size() + 1);
    std::filesystem::remove(record.File("record"));
    ClearLog();
    for (const auto& [name, content] : fresh) std::filesystem::remove(app.File(name));
    for (const auto& [name, content] : old) WriteFile(app.File(name), content);
    std::filesystem::permissions(app.File("app.exe"), std::filesystem::perms::owner_all);
  }
}

TEST_F(TransactionTest, AComponentThatCannotBeCopiedRollsBackTheWholeUpdate) {
  // The program's place is taken by a folder: the stub cannot copy it there.
  std::filesystem::remove(app.File("app.exe"));
  std::filesystem::create_directories(app.File("app.exe/in-use"));
  old = Snapshot();
  PublishUpdate();
  ASSERT_EQ(Run({"UseWinTempDir=True", "Logging=True", LogFile()}).ExitCode, 0);
  WaitForTheStub();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Log().find("Upd update rolled back") == std::string::npos &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_NE(Log().find("Upd update rolled back : copy error"), std::string::npos) << Log();
  EXPECT_EQ(Snapshot(), old) << "the files the run placed went back too";
}

}  // namespace
}  // namespace kavrel::test
