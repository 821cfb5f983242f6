// kavrel publish: from two release folders to a signed site that a machine's
// run turns the old folder into the new one with, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>

#include "CabinetImage.h"
#include "ControlFileLint.h"
#include "InstallationRun.h"
#include "Minisign.h"
#include "Sha256.h"

namespace kavrel::test {
namespace {

class PublishTest : public TInstallationRun {
 protected:
  // Two releases: a changed program (the running one, a component), a large
  // file changed in one byte (a patch), a text that compresses, a new file in
  // a folder with a blank, one unchanged and one dropped.
  PublishTest() {
    WriteRelease(releases.File("old"), false);
    WriteRelease(releases.File("new"), true);
  }
  static void WriteRelease(const std::string& folder, bool updated) {
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(updated ? KAVREL_TEST_APP2_PATH : KAVREL_TEST_APP1_PATH,
                               folder + "/app.exe");
    std::string big = RandomBytes(200000, 3);
    if (updated) big[5000] ^= 1;
    WriteFile(folder + "/app.bin", big);
    std::string notes;
    for (int i = 0; i < 3000; ++i)
      notes += "notes line " + std::to_string(updated ? i : i % 7) + "\n";
    WriteFile(folder + "/data/notes.txt", notes);
    WriteFile(folder + "/same.txt", "same");
    WriteFile(folder + (updated ? "/data/new file.txt" : "/gone.txt"), updated ? "new" : "gone");
  }
  TProgramResult Publish(const std::string& site, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {KavrelProgram(), "publish",
                                     "--from",        releases.File("old"),
                                     "--to",          releases.File("new"),
                                     "--site",        site,
                                     "--url",         server.Url(""),
                                     "--program",     "app.exe"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProgram(args, releases.Path());
  }
  TTempDir releases, keys;
};

TEST_F(PublishTest, ASignedSiteTurnsTheOldReleaseIntoTheNewOne) {
  ASSERT_EQ(RunProgram({KavrelProgram(), "keygen", "-W", "-p", keys.File("site.pub"), "-s",
                        keys.File("site.key")},
                       keys.Path())
                .ExitCode,
            0);
  const TProgramResult p =
      Publish(www.Path(), {"--key", keys.File("site.key"), "--product", "Demo", "--verify"});
  ASSERT_EQ(p.ExitCode, 0) << p.Err;
  EXPECT_NE(p.Out.find("Verified: the site turns"), std::string::npos) << p.Out;
  EXPECT_NE(p.Err.find("gone.txt is only in the old version"), std::string::npos) << p.Err;
  const std::string ini = ReadFile(www.File("update.ini")).value();
  EXPECT_TRUE(LintControlFile(ini, {server.Url("update.ini")}).empty())
      << "lint has nothing to say";
  EXPECT_NE(ini.find("app.bin.pat"), std::string::npos) << "a patch with its fallback";
  EXPECT_NE(ini.find("notes.tx_"), std::string::npos) << "compressed";
  EXPECT_EQ(ini.find("same.txt"), std::string::npos) << "an unchanged file is not named";

  // A machine with the old release and the launcher's settings.
  CopyFilesBelow(releases.File("old"), app.Path());
  const std::string key = FileLines(keys.File("site.pub")).back();
  std::vector<std::string> settings = StubLogging();
  settings.insert(settings.end(),
                  {"UseCRC32=True", "ExtractCAB=True", "ApplyPatch=True", "UseWinTempDir=False",
                   "TempDirectory=.", "PublicKey=" + key, "ProductID=Demo"});
  const TProgramResult r = Run(settings);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out.find("[987]"), std::string::npos) << "the patch applied: " << r.Out;
  // The program comes last, through the updater stub once the run has ended.
  ASSERT_TRUE(WaitForStub()) << r.Out;
  EXPECT_EQ(ReadFile(app.File("app.exe")), ReadFile(KAVREL_TEST_APP2_PATH));
  for (const char* name : {"app.bin", "data/notes.txt", "same.txt", "data/new file.txt"})
    EXPECT_EQ(ReadFile(app.File(name)), ReadFile(releases.File("new") + "/" + name)) << name;
}

// --verify runs the site as a machine with the signing key's public half
// would: one that such a machine refuses fails, with the machine's reason.
TEST_F(PublishTest, VerifyRefusesWhatAMachineWouldRefuse) {
  // A key whose public half is not its secret's own signs what verifies with
  // no key (a damaged key file).
  const auto writeKey = [this](const std::string& name, bool damaged) {
    trust::TSecretKey key = trust::GenerateSecretKey();
    if (damaged) key.Key[63] ^= 1;
    WriteFile(keys.File(name), trust::SecretKeyFileText(key, std::nullopt));
    return keys.File(name);
  };
  const struct {
    std::vector<std::string> Options;
    int ExitCode;
    const char* Said;
  } cases[] = {
      // A site folder named relatively: the run works in a scratch folder.
      {{"--key", writeKey("site.key", false), "--product", "Demo"}, 0, "Verified"},
      {{"--key", writeKey("damaged.key", true)}, 1, "[977]"},
      {{"--key", keys.File("site.key"), "--valid-for", "0"}, 1, "[978] "},
  };
  int n = 0;
  for (const auto& c : cases) {
    std::vector<std::string> options = c.Options;
    options.push_back("--verify");
    const TProgramResult p = Publish("site" + std::to_string(++n), options);
    EXPECT_EQ(p.ExitCode, c.ExitCode) << c.Said << p.Out << p.Err;
    EXPECT_NE((p.Out + p.Err).find(c.Said), std::string::npos) << p.Out << p.Err;
  }
}

TEST_F(PublishTest, TheSameInputsGiveTheSameBytesAndTheSequenceGoesUp) {
  TTempDir first, second;
  ASSERT_EQ(Publish(first.Path()).ExitCode, 0);
  ASSERT_EQ(Publish(second.Path()).ExitCode, 0);
  const auto files = [](const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string& name : FilesBelow(folder))
      found.emplace_back(name, ReadFile(folder + "/" + name).value_or(""));
    return found;
  };
  EXPECT_EQ(files(first.Path()), files(second.Path()));
  WriteFile(releases.File("news.txt"), "What is new");
  ASSERT_EQ(Publish(second.Path(), {"--whatsnew", releases.File("news.txt")}).ExitCode, 0);
  const std::string ini = ReadFile(second.File("update.ini")).value();
  EXPECT_NE(ini.find("sequence=2"), std::string::npos);
  EXPECT_NE(ini.find("[whatsnew]\r\nfile=" + server.Url("news.txt") +
                     "\r\nsha256=" + trust::Sha256Hex("What is new")),
            std::string::npos)
      << ini;
  // A component the stub cannot complete (not in the release's own folder).
  EXPECT_EQ(Publish(first.Path(), {"--in-use", "data/notes.txt"}).ExitCode, 2);
}

}  // namespace
}  // namespace kavrel::test
