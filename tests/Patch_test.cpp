// Patches: made by `kavrel diff`, applied whole or not at all by the utility
// the programs carry, through the engine's run and from the command line.
#include "Patch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "InstallationRun.h"
#include "PatchHeader.h"
#include "PatchUtility.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kavrel::test {
namespace {

using delta::TPatchResult;

// Two versions of a file: the new one changed in scattered places and longer.
std::string OldVersion(std::size_t size = 300000) { return RandomBytes(size, 1); }
std::string NewVersion(std::size_t size = 300000) {
  std::string bytes = OldVersion(size);
  for (std::size_t at = 777; at + 16 < bytes.size(); at += bytes.size() / 9)
    bytes.replace(at, 16, RandomBytes(16, static_cast<unsigned>(at)));
  return bytes + "and a tail";
}

// A patch from OldVersion to NewVersion, made as a publisher makes it.
std::string MadePatch(const TTempDir& scratch, std::size_t size = 300000) {
  WriteFile(scratch.File("old"), OldVersion(size));
  WriteFile(scratch.File("new"), NewVersion(size));
  const TProgramResult r = RunProgram(
      {KavrelProgram(), "diff", scratch.File("old"), scratch.File("new"), scratch.File("p.pat")},
      scratch.Path());
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  return ReadFile(scratch.File("p.pat")).value_or("");
}

std::string Flipped(std::string bytes, std::size_t at) {
  bytes.at(at) = static_cast<char>(bytes.at(at) ^ 0x10);
  return bytes;
}

TEST(PatchFiles, WhatIsNotExactlyThePatchOfThisFileReplacesNothing) {
  TTempDir scratch, dir;
  const std::string patch = MadePatch(scratch);
  ASSERT_LT(patch.size(), 2000u) << "the old file's bytes are not in the patch";
  const std::string target = dir.File("data.bin");
  struct TCase {
    const char* What;
    std::string Patch;
    std::optional<std::string> Target;
    TPatchResult Result;
  };
  const std::vector<TCase> cases = {
      {"the patch itself", patch, OldVersion(), TPatchResult::Applied},
      {"a file changed by its user", patch, OldVersion() + "x", TPatchResult::WrongOldFile},
      {"a file of the same size changed", patch, Flipped(OldVersion(), 5),
       TPatchResult::WrongOldFile},
      {"a missing file", patch, std::nullopt, TPatchResult::WrongOldFile},
      {"the new version already", patch, NewVersion(), TPatchResult::WrongOldFile},
      {"a truncated patch", patch.substr(0, patch.size() - 40), OldVersion(),
       TPatchResult::BadPatch},
      {"a patch with a flipped bit", Flipped(patch, delta::kPatchHeaderSize + 60), OldVersion(),
       TPatchResult::BadPatch},
      {"a patch whose result is not the recorded one", Flipped(patch, 70), OldVersion(),
       TPatchResult::BadPatch},
      {"bytes after the frame", patch + "more", OldVersion(), TPatchResult::BadPatch},
      {"no patch", "KVPATCH but not one", OldVersion(), TPatchResult::BadPatch},
  };
  for (const TCase& c : cases) {
    std::filesystem::remove(target);
    if (c.Target) WriteFile(target, *c.Target);
    WriteFile(scratch.File("case.pat"), c.Patch);
    const delta::TPatchOutcome outcome = delta::ApplyPatch(scratch.File("case.pat"), target);
    EXPECT_EQ(outcome.Result, c.Result) << c.What << ": " << outcome.Detail;
    EXPECT_EQ(ReadFile(target), c.Result == TPatchResult::Applied ? NewVersion() : c.Target)
        << c.What;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), c.Target ? 1 : 0)
        << c.What << ": nothing else is left beside the file";
  }
}

TEST(PatchFiles, APatchFromNothingCreatesItsFileAndAPlainZstdFrameInOurHeaderApplies) {
  TTempDir dir;
  WriteFile(dir.File("empty"), "");
  WriteFile(dir.File("new"), NewVersion());
#ifndef _WIN32
  ::chmod(dir.File("new").c_str(), 0750);
#endif
  ASSERT_TRUE(
      delta::MakePatch(dir.File("empty"), dir.File("new"), dir.File("create.pat")).Succeeded());
  const delta::TPatchOutcome created = delta::ApplyPatch(dir.File("create.pat"), dir.File("made"));
  EXPECT_TRUE(created.Succeeded()) << created.Detail;
  EXPECT_EQ(ReadFile(dir.File("made")), NewVersion());
#ifndef _WIN32
  EXPECT_EQ(ModeOf(dir.File("made")), 0750u) << "the recorded bits, where no file had any";
#endif

#ifndef _WIN32  // Debian's zstd command
  // The frame inside is plain zstd: one made by the zstd command applies.
  WriteFile(dir.File("old"), OldVersion());
  const TProgramResult z =
      RunProgram({"/usr/bin/zstd", "-q", "-19", "--patch-from=" + dir.File("old"), dir.File("new"),
                  "-o", dir.File("frame")},
                 dir.Path());
  ASSERT_EQ(z.ExitCode, 0) << z.Err;
  const auto digest = [](const std::string& bytes) {
    trust::TSha256 hash;
    hash.Add(bytes);
    return hash.Digest();
  };
  const delta::TPatchHeader header{0, OldVersion().size(), digest(OldVersion()),
                                   NewVersion().size(), digest(NewVersion())};
  WriteFile(dir.File("wrapped.pat"),
            delta::WritePatchHeader(header) + *ReadFile(dir.File("frame")));
  const delta::TPatchOutcome wrapped = delta::ApplyPatch(dir.File("wrapped.pat"), dir.File("old"));
  EXPECT_TRUE(wrapped.Succeeded()) << wrapped.Detail;
  EXPECT_EQ(ReadFile(dir.File("old")), NewVersion());
#endif
}

TEST(PatchUtility, ReadsTheCommandLinesItIsStartedWith) {
  using TArgs = std::vector<std::string>;
  struct TCase {
    TArgs Args;
    std::optional<delta::TUtilityArguments> Parsed;
  };
  const std::vector<TCase> cases = {
      {{"p.pat", "app.exe"}, delta::TUtilityArguments{false, "p.pat", "app.exe", ""}},
      {{"-v", "p.pat", "my app.exe", ">>", "K.LOG"},
       delta::TUtilityArguments{true, "p.pat", "my app.exe", "K.LOG"}},
      {{"-v", "p.pat", "app.exe>>", "KAVREL.LOG"},
       delta::TUtilityArguments{true, "p.pat", "app.exe", "KAVREL.LOG"}},
      {{"-v", "p.pat", "app.EXE", ">>KAVRELLOG"},
       delta::TUtilityArguments{true, "p.pat", "app.EXE", "KAVRELLOG"}},
      {{"p.pat"}, std::nullopt},
      {{"p.pat", "app.exe", "extra"}, std::nullopt},
      {{"p.pat", "app.exe", ">>"}, std::nullopt},
      {{"-v", "", "app.exe"}, std::nullopt},
  };
  for (const TCase& c : cases) {
    const auto parsed = delta::ParseUtilityArguments(c.Args);
    ASSERT_EQ(parsed.has_value(), c.Parsed.has_value()) << c.Args.size();
    if (!parsed) continue;
    EXPECT_EQ(parsed->Verbose, c.Parsed->Verbose);
    EXPECT_EQ(parsed->Patch, c.Parsed->Patch);
    EXPECT_EQ(parsed->File, c.Parsed->File);
    EXPECT_EQ(parsed->Log, c.Parsed->Log);
  }
}

// The utility as the programs carry it, ended by force at every stage of its
// work: the file is the old or the new version, whole, every time.
TEST(PatchUtility, KilledAtAnyMomentLeavesTheOldOrTheNewFileWhole) {
  TTempDir scratch, dir;
  constexpr std::size_t kSize = 24 << 20;
  MadePatch(scratch, kSize);
  const std::string oldBytes = OldVersion(kSize), newBytes = NewVersion(kSize);
  const std::string target = dir.File("data.bin");
  int sawOld = 0, sawNew = 0;
  for (const int ms : {0, 2, 5, 10, 20, 40, 80, 160, 320}) {
    WriteFile(target, oldBytes);
    // Killed once it began its work (a console program killed while it
    // starts leaves Wine's console host behind).
    TRunningProgram utility({KAVREL_UTILITY_PATH, "-v", scratch.File("p.pat"), target}, dir.Path());
    ASSERT_TRUE(utility.WaitForOutput("checking", std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    utility.Kill();
    utility.Wait();
    const auto now = ReadFile(target);
    ASSERT_TRUE(now == oldBytes || now == newBytes) << "killed after " << ms << " ms";
    (now == oldBytes ? sawOld : sawNew)++;
  }
  EXPECT_GT(sawOld + sawNew, 0);
  // And left alone it finishes, with the exit statuses the engine reads.
  WriteFile(target, oldBytes);
  EXPECT_EQ(RunProgram({KAVREL_UTILITY_PATH, scratch.File("p.pat"), target}, dir.Path()).ExitCode,
            0);
  EXPECT_EQ(ReadFile(target), newBytes);
  EXPECT_EQ(RunProgram({KAVREL_UTILITY_PATH, scratch.File("p.pat"), target}, dir.Path()).ExitCode,
            2);
  EXPECT_EQ(RunProgram({KAVREL_UTILITY_PATH, scratch.File("new"), target}, dir.Path()).ExitCode, 1);
  EXPECT_EQ(RunProgram({KAVREL_UTILITY_PATH, target}, dir.Path()).ExitCode, 3);
}

// Whole runs of `kavrel run`, which carries the utility and writes it out.
class PatchRunTest : public TInstallationRun {
 protected:
  void SetUp() override {
    WriteFile(www.File("data.pat"), MadePatch(scratch));
    WriteFile(www.File("data.bin"), NewVersion());
  }
  void Installed(const std::string& bytes) {
    WriteFile(app.File("data.bin"), bytes);
#ifndef _WIN32
    ::chmod(app.File("data.bin").c_str(), 0640);
#endif
  }
  // The patch entry, and the whole file as its fallback when `fallback`.
  void PublishPatch(bool fallback) {
    std::vector<TSection> files = {{"url=" + server.Url("data.pat"), "targetdir=" + app.Path(),
                                    "localversion=" + app.File("data.bin")}};
    if (fallback) {
      files[0].push_back("fallback=2");
      files.push_back({"url=" + server.Url("data.bin"), "targetdir=" + app.Path()});
    }
    Publish(files);
  }
  TTempDir scratch;
};

TEST_F(PatchRunTest, AppliedStraightInPlaceAndThroughTheTemporaryFolder) {
  const std::string utility = ReadFile(KAVREL_UTILITY_PATH).value();
  PublishPatch(true);
  for (const bool useTemp : {false, true}) {
    Installed(OldVersion());
    const TProgramResult r =
        Run({"ApplyPatch=True", useTemp ? "UseWinTempDir=True" : "UseWinTempDir=False"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFile(app.File("data.bin")), NewVersion()) << r.Out;
#ifndef _WIN32
    EXPECT_EQ(ModeOf(app.File("data.bin")), 0640u) << "the old file's permission bits";
#endif
    EXPECT_EQ(r.Out.find("[987]"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("[948]"), std::string::npos) << r.Out;
    EXPECT_EQ(FetchedPaths(), std::vector<std::string>{"/data.pat"}) << "no fallback";
    // The utility was written out whole where the run looks for it first.
    EXPECT_EQ(ReadFile(useTemp ? temp.File("patcher.exe") : app.File("patcher.exe")), utility);
    EXPECT_FALSE(ReadFile(app.File("data.pat"))) << "an applied patch goes";
    server.ClearRequests();
  }
}

TEST_F(PatchRunTest, AMachineThatAppliesNoPatchesFetchesTheFallbackWhole) {
  PublishPatch(true);
  Installed(OldVersion());
  const TProgramResult r = Run({"ApplyPatch=False", "UseWinTempDir=False"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ReadFile(app.File("data.bin")), NewVersion()) << r.Out;
  EXPECT_EQ(FetchedPaths(), std::vector<std::string>{"/data.bin"});
}

TEST_F(PatchRunTest, AFileChangedByItsUserFallsBackToTheWholeFileOrStaysAsItWas) {
  for (const bool fallback : {true, false}) {
    PublishPatch(fallback);
    Installed("changed by its user");
    const TProgramResult r = Run({"ApplyPatch=True", "UseWinTempDir=False"});
    ASSERT_EQ(r.ExitCode, fallback ? 0 : 1) << r.Err;
    EXPECT_NE(r.Out.find("[987] Patch not applied : " + app.File("data.pat")), std::string::npos)
        << r.Out;
    EXPECT_EQ(ReadFile(app.File("data.bin")), fallback ? NewVersion() : "changed by its user");
    EXPECT_EQ(r.Out.find("[986]") == std::string::npos, fallback) << r.Out;
    EXPECT_EQ(r.Out.find("[948]") != std::string::npos, fallback) << r.Out;
    EXPECT_TRUE(ReadFile(app.File("data.pat"))) << "a failed patch stays for a later run";
    server.ClearRequests();
  }
}

}  // namespace
}  // namespace kavrel::test
