// Runs whose disk fails them: it fills up while a file is written, a cabinet
// is extracted or an LZ file is expanded (a file-size limit stands in for the
// full disk), the target folder is read-only, the destination belongs to
// another user. Each run ends with its report and the old file whole, leaves
// no temporary file, and a later run without the fault completes.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <thread>

#include "CabinetImage.h"
#include "Files.h"
#include "InstallationRun.h"
#include "SzddCompress.h"

namespace kavrel::test {
namespace {

constexpr uid_t kNobody = 65534;
const std::string kFull = std::to_string(1 << 20);   // a disk with a megabyte free
const std::string kFresh = GeneratedBytes(3000000);  // compresses well below that

class DiskFaultTest : public TInstallationRun {
 protected:
  // Runs with the restrictions, expecting `report` (a status message, or the
  // error shown for a file that cannot be written) and the old destination;
  // then mends the fault (by default: no restrictions) and runs again,
  // expecting the new one. A temporary file the failed run leaves must be
  // the whole download, for the next run to sweep.
  void FailThenRecover(const std::vector<std::string>& restrictions,
                       const std::vector<std::string>& properties, const std::string& destination,
                       const std::string& report, const std::function<void()>& mend = {}) {
    Restrictions = restrictions;
    const TProgramResult r = Run(properties);
    EXPECT_GE(r.ExitCode, 0) << "ended by a signal: " << r.Err;
    EXPECT_NE((r.Out + r.Err).find(report), std::string::npos) << r.Out << r.Err;
    EXPECT_TRUE(ReadFile(destination) == "old") << destination;
    for (const std::string& f : Leftovers()) {
      const bool whole = ReadFile(temp.File(f)) == kFresh || ReadFile(app.File(f)) == kFresh;
      EXPECT_TRUE(whole || !IsTemporaryName(f.substr(f.find_last_of('/') + 1))) << f;
    }
    mend ? mend() : Restrictions.clear();
    AgeEntriesBelow(app.Path());
    AgeEntriesBelow(temp.Path());
    const TProgramResult again = Run(properties);
    EXPECT_EQ(again.ExitCode, 0) << again.Out << again.Err;
    for (const std::string failure : {"[946]", "[947]", "[972]", "[973]"})
      EXPECT_EQ(again.Out.find(failure), std::string::npos) << again.Out;
    EXPECT_TRUE(ReadFile(destination) == kFresh) << destination;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  }
  // Folders a run as nobody writes to.
  void LetNobodyWrite() {
    for (const TTempDir* d : {&hives, &temp, &home, &app})
      ASSERT_EQ(::chown(d->Path().c_str(), kNobody, kNobody), 0);
  }
};

TEST_F(DiskFaultTest, TheDiskFillsWhileAFileIsWritten) {
  WriteFile(www.File("app.exe"), kFresh);
  Publish({{"url=" + server.Url("app.exe"), "targetdir=" + app.Path()}});
  for (const std::string viaTemp : {"False", "True"}) {
    SCOPED_TRACE("UseWinTempDir=" + viaTemp);
    WriteFile(app.File("app.exe"), "old");
    FailThenRecover({"--file-size", kFull}, {"UseWinTempDir=" + viaTemp}, app.File("app.exe"),
                    "[976] System error : Cannot write");
  }
}

TEST_F(DiskFaultTest, TheDiskFillsWhileACabinetIsExtracted) {
  TTempDir src;
  WriteFile(src.File("big.bin"), kFresh);
  MakeCabinetWithGcab(src.Path(), www.File("data.cab"), {"big.bin"}, true);
  Publish({{"url=" + server.Url("data.cab"), "compressed=1", "targetdir=" + app.File("data")}});
  WriteFile(app.File("data/big.bin"), "old");
  FailThenRecover({"--file-size", kFull}, {"UseWinTempDir=True", "ExtractCAB=True"},
                  app.File("data/big.bin"), "[947]");
}

TEST_F(DiskFaultTest, TheDiskFillsWhileAnLzFileIsExpanded) {
  WriteFile(www.File("notes.tx_"), *SzddCompress(kFresh, 't'));
  Publish({{"url=" + server.Url("notes.tx_"), "compressed=1"}});
  WriteFile(app.File("notes.txt"), "old");
  FailThenRecover({"--file-size", kFull}, {"UseWinTempDir=True", "ExtractCAB=True"},
                  app.File("notes.txt"), "[984] Error expanding LZ file : notes.tx_");
}

// A small file system of its own mounted at a folder (root only), gone with
// the object.
struct TSmallDisk {
  explicit TSmallDisk(const std::string& folder) : path(folder) {
    ::mkdir(path.c_str(), 0755);
    mounted = ::mount("kavrel-test", path.c_str(), "tmpfs", 0, "size=1m") == 0;
  }
  ~TSmallDisk() {
    if (mounted) ::umount2(path.c_str(), MNT_DETACH);
  }
  bool Grow() const { return ::mount("", path.c_str(), "", MS_REMOUNT, "size=16m") == 0; }
  std::string path;
  bool mounted = false;
};

// The destination's disk is another than the temporary folder's and too
// full for the new file: the transfer stops at that disk's reserve, and the
// old file is never given up.
TEST_F(DiskFaultTest, TheDestinationsOwnDiskIsFull) {
  const TSmallDisk disk(app.File("small"));
  if (!disk.mounted) GTEST_SKIP() << "mounting a file system needs root";
  WriteFile(www.File("app.exe"), kFresh);
  Publish({{"url=" + server.Url("app.exe"), "targetdir=" + disk.path}});
  WriteFile(disk.path + "/app.exe", "old");
  FailThenRecover({}, {"UseWinTempDir=False"}, disk.path + "/app.exe", "[981]",
                  [&] { ASSERT_TRUE(disk.Grow()); });
}

// The disk fills in the middle of an update: the files placed before the one
// that does not fit go back, so that the installation is the old one whole.
TEST_F(DiskFaultTest, TheDiskFillsInTheMiddleOfAnUpdateAndTheWholeUpdateIsRolledBack) {
  const TSmallDisk disk(app.File("small"));
  if (!disk.mounted) GTEST_SKIP() << "mounting a file system needs root";
  WriteFile(www.File("a.dat"), "new a");
  WriteFile(www.File("big.dat"), RandomBytes(3 << 20, 7));
  Publish({{"url=" + server.Url("a.dat"), "targetdir=" + disk.path},
           {"url=" + server.Url("big.dat"), "targetdir=" + disk.path}});
  WriteFile(disk.path + "/a.dat", "old a");
  const TProgramResult r = Run({"UseWinTempDir=False"});
  EXPECT_EQ(r.ExitCode, 1) << r.Out;
  EXPECT_NE(r.Out.find("[988] Update rolled back : "), std::string::npos) << r.Out;
  EXPECT_EQ(FilesBelow(disk.path), std::vector<std::string>{"a.dat"});
  EXPECT_EQ(ReadFile(disk.path + "/a.dat"), "old a");
}

// Replacing a file never gives the old one up before the new one stands in
// its place. Checked without root: the old file in a folder the user may not
// write (though the file itself is writable) is neither replaced nor
// rewritten, and a copy from another file system that a file-size limit cuts
// short leaves the old file as it was and no half-made copy beside it.
TEST(ReplacingAFile, AFolderTheUserMayNotWriteKeepsTheOldFile) {
  TTempDir folder;
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
  WriteFile(folder.File("new.exe"), "new");
  WriteFile(folder.File("ro/app.exe"), "old");
  ASSERT_EQ(::chmod(folder.File("ro/app.exe").c_str(), 0666), 0);
  ASSERT_EQ(::chmod(folder.File("ro").c_str(), 0555), 0);
  EXPECT_TRUE(RunUnprivileged([&] {
    return !platform::ReplaceFileWith(folder.File("new.exe"), folder.File("ro/app.exe"));
  }));
  EXPECT_EQ(ReadFile(folder.File("ro/app.exe")), "old");
  EXPECT_EQ(ReadFile(folder.File("new.exe")), "new");
  ::chmod(folder.File("ro").c_str(), 0755);
}

TEST(ReplacingAFile, ACopyFromAnotherDiskCutShortKeepsTheOldFile) {
  // Shared memory is a file system of its own wherever Linux runs.
  std::string other = "/dev/shm/kavrel-test-XXXXXX";
  ASSERT_NE(::mkdtemp(other.data()), nullptr);
  TTempDir folder;
  struct stat here = {}, there = {};
  ASSERT_TRUE(::stat(folder.Path().c_str(), &here) == 0 && ::stat(other.c_str(), &there) == 0);
  EXPECT_NE(here.st_dev, there.st_dev) << "no other file system to copy from";
  const std::string fresh = RandomBytes(1 << 20, 5), from = other + "/app.exe";
  WriteFile(from, fresh);
  WriteFile(folder.File("app.exe"), "old");
  EXPECT_TRUE(RunInChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 << 10, 64 << 10};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
           !platform::ReplaceFileWith(from, folder.File("app.exe"));
  })) << "the cut-short copy took its place";
  EXPECT_EQ(ReadFile(folder.File("app.exe")), "old");
  EXPECT_EQ(FilesBelow(folder.Path()), std::vector<std::string>{"app.exe"});
  EXPECT_TRUE(ReadFile(from) == fresh) << "the new file stays where it was";
  std::filesystem::remove_all(other);
}

// An answer without end is stopped where it would leave the disk less than
// its reserve, not when the disk is full.
TEST_F(DiskFaultTest, AnEndlessAnswerStopsAtTheDisksReserve) {
  const TSmallDisk disk(app.File("small"));
  if (!disk.mounted) GTEST_SKIP() << "mounting a file system needs root";
  Publish({{"url=" + server.Url("nolength/gen/5000000/app.exe"), "targetdir=" + disk.path}});
  WriteFile(disk.path + "/app.exe", "old");
  const TProgramResult r = Run({"UseWinTempDir=False"});
  EXPECT_NE(r.Out.find("would leave the disk less free space than it must keep"), std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("[946]"), std::string::npos);
  EXPECT_EQ(ReadFile(disk.path + "/app.exe"), "old");
  EXPECT_EQ(FilesBelow(disk.path), std::vector<std::string>{"app.exe"});
}

// Another user of a shared temporary folder plants links named like the
// updater stub and takes the name of this user's private folder first: the
// run goes on in a folder of the user's cache and writes through nothing.
TEST_F(DiskFaultTest, AnotherUserInASharedTemporaryFolderGetsNoHold) {
  if (::geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
  ASSERT_EQ(::chmod(temp.Path().c_str(), 01777), 0);
  WriteFile(home.File("victim"), "precious");
  for (const char* name : {"kvsetup.ex_", "kvsetup.exe", "kavrel-0"})
    ASSERT_EQ(::symlink(home.File("victim").c_str(), temp.File(name).c_str()), 0);
  ASSERT_EQ(::lchown(temp.File("kavrel-0").c_str(), kNobody, kNobody), 0);
  WriteFile(www.File("app.exe_NEW"), "new program");
  WriteFile(app.File("app.exe"), "old program");
  Publish({{"url=" + server.Url("app.exe_NEW")}},
          "[application]\r\nappupdate=1\r\nappname=app.exe\r\nappcomps=app.exe_NEW\r\n"
          "silentrestart=1\r\n");
  const TProgramResult r = Run({"UseWinTempDir=False"});
  EXPECT_NE(r.Out.find("[982] Temporary folder : The temporary folder " + temp.File("kavrel-0") +
                       " is not a folder of this user alone"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("[958]"), std::string::npos) << r.Err;
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(app.File("app.exe")) == "new program"; }))
      << "the stub ran from the cache";
  EXPECT_EQ(ReadFile(home.File("victim")), "precious");
}

// An installation the user may not write: the updater is started with raised
// rights (Windows asks the user), and the run says so.
TEST_F(DiskFaultTest, AnInstallationTheUserCannotWriteGetsARaisedUpdater) {
  LetNobodyWrite();
  ASSERT_EQ(::chown(app.Path().c_str(), 0, 0), 0);
  WriteFile(www.File("app.exe_NEW"), "new program");
  Publish({{"url=" + server.Url("app.exe_NEW")}},
          "[application]\r\nappupdate=1\r\nappname=app.exe\r\nappcomps=app.exe_NEW\r\n"
          "silentrestart=1\r\n");
  Restrictions = {"--as-nobody"};
  const TProgramResult r = Run({"UseWinTempDir=True"});
  EXPECT_NE(
      r.Out.find("[983] Updater started with administrator rights, this user cannot write : " +
                 app.Path()),
      std::string::npos)
      << r.Out << r.Err;
  EXPECT_NE(r.Out.find("[958]"), std::string::npos);
}

// The folder and the file stay root's; nobody may read but not change them.
TEST_F(DiskFaultTest, ATargetFolderThatIsReadOnly) {
  LetNobodyWrite();
  WriteFile(www.File("app.exe"), kFresh);
  Publish({{"url=" + server.Url("app.exe"), "targetdir=" + app.File("ro")}});
  for (const std::string viaTemp : {"False", "True"}) {
    SCOPED_TRACE("UseWinTempDir=" + viaTemp);
    ::unlink(app.File("ro/app.exe").c_str());
    WriteFile(app.File("ro/app.exe"), "old");
    FailThenRecover({"--as-nobody"}, {"UseWinTempDir=" + viaTemp}, app.File("ro/app.exe"), "[973]",
                    [this] { ::chown(app.File("ro").c_str(), kNobody, kNobody); });
    ::chown(app.File("ro").c_str(), 0, 0);
  }
}

// A shared folder where only a file's owner may replace it.
TEST_F(DiskFaultTest, ADestinationOfAnotherUser) {
  LetNobodyWrite();
  WriteFile(www.File("app.exe"), kFresh);
  ASSERT_EQ(::mkdir(app.File("shared").c_str(), 0777), 0);
  ASSERT_EQ(::chmod(app.File("shared").c_str(), 01777), 0);
  Publish({{"url=" + server.Url("app.exe"), "targetdir=" + app.File("shared")}});
  for (const std::string viaTemp : {"False", "True"}) {
    SCOPED_TRACE("UseWinTempDir=" + viaTemp);
    ::unlink(app.File("shared/app.exe").c_str());
    WriteFile(app.File("shared/app.exe"), "old");
    FailThenRecover({"--as-nobody"}, {"UseWinTempDir=" + viaTemp}, app.File("shared/app.exe"),
                    "[973]", [this] { ::chown(app.File("shared/app.exe").c_str(), kNobody, 0); });
  }
}

}  // namespace
}  // namespace kavrel::test
