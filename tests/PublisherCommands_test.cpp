// kavrel checksum and kavrel version: the values a publisher puts into a
// control file.
#include "PublisherCommands.h"

#include <gtest/gtest.h>

#include <sstream>

#include "PeImage.h"
#include "SigningCommands.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

struct TCommandResult {
  int ExitCode;
  std::string Out, Err;
};

using TCommand = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);

TCommandResult RunCommand(TCommand command, const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = command(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(PublisherCommands, ChecksumPrintsTheSignedValueForTheControlFile) {
  TTempDir dir;
  WriteFile(dir.File("abc"), "abc");
  WriteFile(dir.File("empty"), "");
  WriteFile(dir.File("-dash"), "abc");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{dir.File("abc")}, "293\n"},
      {{"--crc32", dir.File("abc")}, "1821220161\n"},
      {{dir.File("abc"), "--crc32"}, "1821220161\n"},
      {{dir.File("empty")}, "-1\n"},
      {{"--crc32", dir.File("empty")}, "0\n"},
      {{"--", "-dash"}, "293\n"},
  };
  TScopedCurrentDir here(dir.Path());
  for (const auto& [args, printed] : cases) {
    const TCommandResult r = RunCommand(ChecksumCommand, args);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, printed) << args.back();
  }
}

TEST(PublisherCommands, KeygenSignVerifyAndSha256WorkTogether) {
  TTempDir dir;
  const std::string pub = dir.File("k.pub"), sec = dir.File("k.key"), file = dir.File("u.ini");
  WriteFile(file, "[update]\r\nsequence=1\r\n");
  const TCommandResult made = RunCommand(KeygenCommand, {"-W", "-p", pub, "-s", sec});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  EXPECT_NE(made.Out.find(FileLines(pub).back()), std::string::npos) << "the key to give";
  EXPECT_EQ(RunCommand(KeygenCommand, {"-W", "-p", pub, "-s", sec}).ExitCode, 1)
      << "never over a key";
  const std::vector<std::vector<std::string>> kinds = {{"-t", "release 1"}, {"-l"}};
  for (std::vector<std::string> args : kinds) {
    args.insert(args.end(), {"-s", sec, file});
    ASSERT_EQ(RunCommand(SignCommand, args).ExitCode, 0) << args[0];
    EXPECT_EQ(RunCommand(VerifyCommand, {"-p", pub, file}).ExitCode, 0) << args[0];
    EXPECT_EQ(RunCommand(VerifyCommand, {"-P", FileLines(pub).back(), file}).ExitCode, 0);
  }
  WriteFile(file, "[update]\r\nsequence=2\r\n");
  const TCommandResult changed = RunCommand(VerifyCommand, {"-p", pub, file});
  EXPECT_EQ(changed.ExitCode, 1);
  EXPECT_NE(changed.Err.find("signature does not match the file"), std::string::npos)
      << changed.Err;
  EXPECT_EQ(RunCommand(Sha256Command, {file}).Out,
            "f7f1e7dd2435ed2707962c50dce01374ab4f13b9c07ee4926a3fa14245b29e11\n");
  EXPECT_EQ(RunCommand(VerifyCommand, {"-p", pub, "-P", "x", file}).ExitCode, 2);
  EXPECT_EQ(RunCommand(SignCommand, {"-s", dir.File("none"), file}).ExitCode, 1);
}

TEST(PublisherCommands, VersionPrintsTheFileVersionOfBothWidths) {
  TTempDir dir;
  for (const bool wide : {false, true}) {
    WriteFile(
        dir.File("app.exe"),
        BuildPeImage({.Pe32Plus = wide, .VersionMS = 0x000A0014, .VersionLS = 0x001E0028}).Bytes);
    const TCommandResult r = RunCommand(VersionCommand, {dir.File("app.exe")});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "10.20.30.40\n");
  }
  WriteFile(dir.File("readme.txt"), "no version here");
  const TCommandResult none = RunCommand(VersionCommand, {dir.File("readme.txt")});
  EXPECT_EQ(none.ExitCode, 1);
  EXPECT_EQ(none.Out, "");
  EXPECT_NE(none.Err.find("has no version"), std::string::npos) << none.Err;
}

TEST(PublisherCommands, UnreadableFilesAndUsageErrors) {
  TTempDir dir;
  WriteFile(dir.File("a"), "a");
  for (const TCommand command : {TCommand{ChecksumCommand}, TCommand{VersionCommand}}) {
    for (const std::string& path : {dir.File("missing"), dir.Path()}) {
      const TCommandResult r = RunCommand(command, {path});
      EXPECT_EQ(r.ExitCode, 1) << path;
      EXPECT_EQ(r.Out, "");
      EXPECT_NE(r.Err.find("cannot read " + path), std::string::npos) << r.Err;
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {dir.File("a"), dir.File("a")}, {"--sha1", dir.File("a")}}) {
      const TCommandResult r = RunCommand(command, args);
      EXPECT_EQ(r.ExitCode, 2);
      EXPECT_EQ(r.Out, "");
      EXPECT_NE(r.Err.find("usage: kavrel"), std::string::npos) << r.Err;
    }
  }
  EXPECT_EQ(RunCommand(VersionCommand, {"--crc32", dir.File("a")}).ExitCode, 2);
}

}  // namespace
}  // namespace kavrel::test
