// The worked examples of the publisher's guide, each a site in examples/: run
// against the local server on the machine's files before, they leave the
// files after; and the guide shows each control file as it is.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "CabinetImage.h"
#include "InstallationRun.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The server's "auth" paths ask for the user and password the examples
// that need one give.
class ExampleTest : public TInstallationRun {
 protected:
  ExampleTest() : TInstallationRun("acme", "secret") {}

  void RunExample(const std::string& name) {
    const fs::path example = fs::path(KAVREL_EXAMPLES_DIR) / name;
    const std::string control = ReadFile((example / "update.ini").string()).value();
    // The site's address ("@BASE@" in the example's files): the server's
    // root, or a modifier of its paths ("auth": behind its password), or an
    // FTP server of its own ("ftp", its port "@PORT@").
    const std::vector<std::string> modifier = FileLines((example / "base.txt").string());
    const bool ftp = !modifier.empty() && modifier.front() == "ftp";
    std::string base = server.Url(modifier.empty() || ftp ? "" : modifier.front());
    if (base.back() == '/') base.pop_back();
    CopyFilesBelow((example / "site").string(), www.Path());
    WriteFile(www.File("update.ini"), Replaced(control, "@BASE@", base));
    std::optional<TFtpTestServer> ftpServer;
    if (ftp) ftpServer.emplace(www.Path(), "acme", "secret");
    const std::string port = ftpServer ? std::to_string(ftpServer->Port()) : "";
    CopyFilesBelow((example / "before").string(), app.Path());
    std::vector<std::string> settings = StubLogging();
    for (const std::string& line : FileLines((example / "run.txt").string()))
      settings.push_back(Replaced(Replaced(line, "@BASE@", base), "@PORT@", port));
    // The answers a person gives to its questions and texts, when it has any.
    const std::vector<std::string> answers = FileLines((example / "answers.txt").string());
    const TProgramResult r = Run(settings, answers.empty() ? "" : answers.front());
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("[948]"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("[987]"), std::string::npos) << "every patch applies: " << r.Out;
    const std::string after = (example / "after").string();
    // Components reach their state through the updater stub, which works on
    // after the run has ended.
    if (r.Out.find("[958]") != std::string::npos) {
      EXPECT_TRUE(WaitForStub()) << r.Out;
    }
    for (const std::string& name : FilesBelow(after))
      EXPECT_EQ(ReadFile(app.File(name)), ReadFile(after + "/" + name)) << name;
    // The guide shows the control file as it stands, at an address of its own.
    const std::string guide = ReadFile(KAVREL_GUIDE_PATH).value();
    EXPECT_NE(guide.find(Replaced(control, "@BASE@", "https://updates.example.com/" + name)),
              std::string::npos)
        << "docs/publishing.md does not show examples/" << name << "/update.ini";
  }
};

TEST_F(ExampleTest, AChecksumBasedUpdate) { RunExample("checksum-update"); }
TEST_F(ExampleTest, ACabinetOfDataFiles) { RunExample("cabinet"); }
TEST_F(ExampleTest, ADeltaUpdate) { RunExample("delta-update"); }
TEST_F(ExampleTest, WhatsNewAndTheLicence) { RunExample("whats-new-licence"); }
TEST_F(ExampleTest, ADateBasedUpdateWithTheLastUpdateMemory) { RunExample("date-update"); }
TEST_F(ExampleTest, AnUpdateBehindBasicAuthentication) { RunExample("basic-auth"); }
TEST_F(ExampleTest, AnFtpSite) { RunExample("ftp-site"); }
TEST_F(ExampleTest, SelfUpdateOfTheRunningProgram) { RunExample("self-update"); }
TEST_F(ExampleTest, AListFileForTheUpdaterStub) { RunExample("list-file"); }

}  // namespace
}  // namespace kavrel::test
