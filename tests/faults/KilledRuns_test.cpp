// Runs killed (SIGKILL) at each stage of an installation, and two runs
// started at once. Afterwards every destination holds its complete old or its
// complete new content, and the next run completes the update and leaves no
// temporary file behind.
#ifndef _WIN32
#include <signal.h>
#endif
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "CabinetImage.h"
#include "InstallationRun.h"
#include "SzddCompress.h"

namespace kavrel::test {
namespace {

using namespace std::chrono_literals;

// True once a file whose name starts with "KAV" and ends in ".tmp" holds
// data somewhere below the folder.
bool TemporaryFileBelow(const std::string& folder) {
  for (const std::string& f : FilesBelow(folder)) {
    const std::string name = f.substr(f.find_last_of('/') + 1);
    struct stat st {};
    if (IsTemporaryName(name) && ::stat((folder + "/" + f).c_str(), &st) == 0 && st.st_size > 0)
      return true;
  }
  return false;
}

class KilledRunTest : public TInstallationRun {
 protected:
  struct TDestination {
    std::string path, old, fresh;
  };

  // Kills the run once `moment` holds (polled every millisecond), then
  // checks each destination and runs again to the end.
  void KillWhenThenRecover(const std::vector<std::string>& properties,
                           const std::function<bool(TRunningProgram&)>& moment,
                           const std::vector<TDestination>& destinations,
                           const std::function<void()>& afterKill = {}) {
    for (const TDestination& d : destinations) WriteFile(d.path, d.old);
    auto run = Start(properties);
    ASSERT_TRUE(WaitUntil([&] { return moment(*run); }, 30s))
        << "the stage never came: " << run->Wait(5).Out;
    run->Kill();
    for (const TDestination& d : destinations) {
      const auto now = ReadFile(d.path);
      EXPECT_TRUE(now == d.old || now == d.fresh)
          << d.path << " is neither old nor new: " << (now ? now->size() : 0) << " bytes";
    }
    if (afterKill) afterKill();
    AgeEntriesBelow(app.Path());
    AgeEntriesBelow(temp.Path());
    const TProgramResult again = Run(properties, answers);
    EXPECT_EQ(again.ExitCode, 0) << again.Err;
    EXPECT_NE(again.Out.find("[948]"), std::string::npos) << again.Out;
    for (const TDestination& d : destinations) EXPECT_TRUE(ReadFile(d.path) == d.fresh) << d.path;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  }
  // The answers of the run after the kill.
  std::string answers;
};

TEST_F(KilledRunTest, DuringTheDownload) {
  Publish({{"url=" + server.Url("slow-100-20000/gen/600000/app.exe"), "targetdir=" + app.Path()}});
  KillWhenThenRecover({"UseWinTempDir=False"},
                      [this](TRunningProgram&) { return TemporaryFileBelow(app.Path()); },
                      {{app.File("app.exe"), "old app", GeneratedBytes(600000)}});
}

// Moments too short to watch for (a file fetched and not yet in its place,
// the last steps of the run) are hit by killing at a range of delays after
// the download starts.
TEST_F(KilledRunTest, AtMomentsAcrossTheEndOfARun) {
  Publish({{"url=" + server.Url("gen/600000/app.exe"), "targetdir=" + app.Path()},
           {"url=" + server.Url("gen/3000/tool.dat"), "targetdir=" + app.File("bin")}});
  for (const int delay : {0, 1, 2, 4, 8, 16, 32, 64}) {
    SCOPED_TRACE("killed " + std::to_string(delay) + " ms after the download began");
    std::optional<std::chrono::steady_clock::time_point> began;
    KillWhenThenRecover(
        {"UseWinTempDir=True"},
        [&](TRunningProgram& run) {
          if (!began &&
              run.WaitForOutput("[915] Download : " + server.Url("gen/600000/app.exe"), 1ms))
            began = std::chrono::steady_clock::now();
          return began &&
                 std::chrono::steady_clock::now() - *began >= std::chrono::milliseconds(delay);
        },
        {{app.File("app.exe"), "old app", GeneratedBytes(600000)},
         {app.File("bin/tool.dat"), "old tool", GeneratedBytes(3000)}});
  }
}

// A text is fetched into a folder of its own in the temporary folder. Killed
// meanwhile, the run leaves that folder; the next run removes it with what it
// holds, and so one left with its text placed. A folder of that name that
// holds a folder is no leftover of a run and stays.
TEST_F(KilledRunTest, WhileATextIsFetched) {
  Publish({{"url=" + server.Url("gen/3000/app.exe"), "targetdir=" + app.Path()}},
          "[whatsnew]\r\nfile=" + server.Url("slow-100-20000/gen/600000/news.txt") + "\r\n");
  answers = "ok";  // the what's-new text read
  const auto textFolders = [this] {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(temp.Path()))
      if (e.is_directory() && IsTemporaryName(e.path().filename().string()))
        found.push_back(e.path().filename().string());
    return found;
  };
  KillWhenThenRecover(
      {"UseWinTempDir=True"},
      [&](TRunningProgram&) { return !textFolders().empty() && TemporaryFileBelow(temp.Path()); },
      {{app.File("app.exe"), "old app", GeneratedBytes(3000)}},
      [&] {
        WriteFile(temp.File("KAV9.tmp/news.txt"), "a placed text");
        std::filesystem::create_directories(temp.File("KAVA.tmp/kept"));
      });
  EXPECT_EQ(textFolders(), std::vector<std::string>{"KAVA.tmp"});
}

TEST_F(KilledRunTest, DuringACabinetExtraction) {
  TTempDir src;
  const std::string big = RandomBytes(24 << 20, 1), small = "small new";
  WriteFile(src.File("big.bin"), big);
  WriteFile(src.File("small.txt"), small);
  MakeCabinetWithGcab(src.Path(), www.File("data.cab"), {"small.txt", "big.bin"}, true);
  Publish({{"url=" + server.Url("data.cab"), "compressed=1", "targetdir=" + app.File("data")}});
  KillWhenThenRecover({"UseWinTempDir=True", "ExtractCAB=True"},
                      [this](TRunningProgram&) { return TemporaryFileBelow(app.File("data")); },
                      {{app.File("data/big.bin"), "old big", big},
                       {app.File("data/small.txt"), "old small", small}});
}

TEST_F(KilledRunTest, DuringAnLzExpansion) {
  const std::string notes = RandomBytes(8 << 20, 2);
  WriteFile(www.File("notes.tx_"), *SzddCompress(notes, 't'));
  Publish({{"url=" + server.Url("notes.tx_"), "compressed=1"}});
  KillWhenThenRecover({"UseWinTempDir=True", "ExtractCAB=True"},
                      [this](TRunningProgram&) { return TemporaryFileBelow(app.Path()); },
                      {{app.File("notes.txt"), "old notes", notes}});
}

#ifndef _WIN32
// Holding the stub still mid-copy takes SIGSTOP, and the handoff's programs
// are shell scripts found running through /proc: POSIX only.

// The updater stub, killed while it copies a pending program over the old one
// and then started again.
// The updater stub at work on a large pending program: a run started
// meanwhile ends at once; killed, it leaves the old program or the new one, and
// started again it sweeps its leftover and completes.
TEST_F(KilledRunTest, TheStubWhileItCopies) {
  TTempDir pending;
  const std::string fresh = RandomBytes(64 << 20, 3);
  WriteFile(pending.File("app.exe_NEW"), fresh);
  WriteFile(app.File("app.exe"), "old app");
  Publish({{"url=" + server.Url("gen/10/tool.dat"), "targetdir=" + app.Path()}});
  const std::vector<std::string> stub = {KAVREL_STUB_PATH,
                                         "0 X null \" \" \"" + pending.Path() + "/\" app.exe_NEW"};
  const TEnvironment env = RunEnvironment({.Temp = temp.Path(), .Home = home.Path()});
  {
    TRunningProgram run(stub, app.Path(), env);
    ASSERT_TRUE(WaitUntil([&] { return TemporaryFileBelow(app.Path()); }, 30s)) << run.Wait(5).Err;
    ::kill(run.Pid(), SIGSTOP);  // held mid-copy while a run tries its luck
    const TProgramResult meanwhile = Run({});
    EXPECT_NE(meanwhile.Out.find("[976] System error : Another update"), std::string::npos)
        << meanwhile.Out;
    EXPECT_FALSE(ReadFile(app.File("tool.dat")));
  }  // killed
  const auto now = ReadFile(app.File("app.exe"));
  EXPECT_TRUE(now == "old app" || now == fresh) << (now ? now->size() : 0) << " bytes";
  AgeEntriesBelow(app.Path());
  const TProgramResult again = RunProgram(stub, app.Path(), env);
  EXPECT_EQ(again.ExitCode, 0) << again.Err;
  EXPECT_TRUE(ReadFile(app.File("app.exe")) == fresh);
  EXPECT_EQ(FilesBelow(app.Path()), std::vector<std::string>{"app.exe"});
}

// True while a process runs the program at `path`.
bool ProgramRunning(const std::string& path) {
  for (const auto& process : std::filesystem::directory_iterator("/proc")) {
    std::optional<std::string> command;
    try {
      command = ReadFile(process.path().string() + "/cmdline");
    } catch (const std::exception&) {
      continue;  // the process ended while it was read
    }
    if (command && command->rfind(path + '\0', 0) == 0) return true;
  }
  return false;
}

// The host killed in the handoff: before the stub is started, and once it
// runs. The program is always the old one or the new one; a stub that was
// started completes once the host is gone, and otherwise the next run hands
// off again.
TEST_F(KilledRunTest, DuringTheHandoff) {
  const std::string v1 = "#!/bin/sh\nexit 0\n";
  const std::string v2 = "#!/bin/sh\necho started >> \"" + home.File("started") + "\"\n";
  WriteFile(www.File("app.exe_NEW"), v2);
  Publish({{"url=" + server.Url("app.exe_NEW")}},
          "[application]\r\nappupdate=1\r\nappname=app.exe\r\nappcomps=app.exe_NEW\r\n"
          "silentrestart=1\r\n");
  const std::vector<std::string> properties = {"UseWinTempDir=False", "TempDirectory=."};
  for (const bool stubStarted : {false, true}) {
    SCOPED_TRACE(stubStarted ? "once the stub runs" : "before the stub is started");
    ::unlink(home.File("started").c_str());
    WriteFile(app.File("app.exe"), v1);
    {
      auto host = Start(properties);
      ASSERT_TRUE(WaitUntil(
          [&] {
            return stubStarted ? ProgramRunning(temp.File("kvsetup.exe"))
                               : host->WaitForOutput("[959]", 1ms);
          },
          30s))
          << host->Output();
    }  // killed at once
    // Watched for a while: never anything but the old or the new program. It
    // is looked at once at least, whatever has happened meanwhile.
    int looks = 0;
    do {
      const auto now = ReadFile(app.File("app.exe"));
      ASSERT_TRUE(now == v1 || now == v2) << (now ? now->size() : 0) << " bytes";
      ++looks;
      std::this_thread::sleep_for(20ms);
    } while (looks < 100 && !ReadFile(home.File("started")));
    if (!stubStarted) {
      EXPECT_TRUE(ReadFile(app.File("app.exe")) == v1) << "no stub was started";
      const TProgramResult again = Run(properties);
      EXPECT_NE(again.Out.find("[958]"), std::string::npos) << again.Out;
    }
    EXPECT_FALSE(WaitForFileLines(home.File("started"), 1).empty()) << "restarted";
    EXPECT_TRUE(ReadFile(app.File("app.exe")) == v2);
    for (const std::string& f : FilesBelow(app.Path())) EXPECT_NE(f.rfind("KAV", 0), 0u) << f;
  }
}
#endif

TEST_F(KilledRunTest, TwoRunsAtOnceForOneInstallation) {
  Publish({{"url=" + server.Url("slow-100-20000/gen/200000/app.exe"), "targetdir=" + app.Path()}});
  WriteFile(app.File("app.exe"), "old app");
  auto first = Start({"UseWinTempDir=False"});
  ASSERT_TRUE(first->WaitForOutput("[915]", 20s)) << first->Output();
  const TProgramResult second = Run({"UseWinTempDir=False"});
  EXPECT_NE(second.Out.find("[976] System error : Another update of this installation is running"),
            std::string::npos)
      << second.Out;
  EXPECT_EQ(second.Out.find("[921]"), std::string::npos) << "the second run fetched nothing";
  const TProgramResult r = first->Wait(60);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(ReadFile(app.File("app.exe")) == GeneratedBytes(200000));
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  // Once the first has ended, the next run may go.
  const TProgramResult third = Run({"UseWinTempDir=False"});
  EXPECT_EQ(third.Out.find("[976]"), std::string::npos) << third.Out;
}

}  // namespace
}  // namespace kavrel::test
