// The update journal on real files: what a rollback and a completion make of
// the steps it records, also when they are cut short or the files changed.
#include "UpdateJournal.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "CabinetImage.h"
#include "ChildProcess.h"
#include "Files.h"
#include "TestSupport.h"
#include "Text.h"

namespace kavrel::test {
namespace {

// A folder name with a blank and, where the test's own file helpers take
// UTF-8 (not Windows, where they take the system's code page), a non-ASCII
// letter, as the journal's fields may hold.
#ifdef _WIN32
const std::string kFolder = "Prog ramme";
#else
const std::string kFolder = "Prog ramme Ā";
#endif

class UpdateJournalTest : public ::testing::Test {
 protected:
  UpdateJournalTest() : folder(dir.File(kFolder)), journal(dir.File("j.journal")) {
    std::filesystem::create_directories(folder);
  }
  std::string File(const std::string& name) const { return folder + "/" + name; }
  // Replaces `name` with a new file of this content through the journal.
  bool Replace(const std::string& name, const std::string& content) {
    WriteFile(dir.File("new"), content);
    return journal.Replace(dir.File("new"), File(name));
  }

  TTempDir dir;
  std::string folder;
  TUpdateJournal journal;
};

TEST_F(UpdateJournalTest, RollBackPutsEveryFileBackInReverseOrderAndCanBeDoneAgain) {
  WriteFile(File("app.exe"), "v1");
  journal.Begin("http://example.org/update.ini", "sequence:7");
  ASSERT_TRUE(Replace("app.exe", "v2"));
  ASSERT_TRUE(Replace("app.exe", "v3"));  // the same file twice in one update
  ASSERT_TRUE(Replace("new file.dll", "lib"));
  ASSERT_TRUE(journal.KeepBackup(File("patched.bin")));  // not there: recorded as fresh
  WriteFile(File("patched.bin"), "made by a patch");
  EXPECT_EQ(ReadFile(File("app.exe")), "v3");
  EXPECT_EQ(journal.Update()->Fields,
            (std::vector<std::string>{"http://example.org/update.ini", "sequence:7"}));
  EXPECT_EQ(FilesBelow(folder).size(), 5u) << "two backups beside the new files";

  // A rollback cut short after its first step, then done whole.
  const std::string text = ReadFile(dir.File("j.journal")).value();
  EXPECT_NE(text.find(PercentEncode(kFolder, [&](std::size_t i) { return kFolder[i] == ' '; }) +
                      "/new%20file.dll"),
            std::string::npos)
      << text;
  EXPECT_TRUE(journal.RollBack().empty());
  WriteFile(dir.File("j.journal"), text);
  EXPECT_TRUE(journal.RollBack().empty());
  EXPECT_EQ(FilesBelow(folder), std::vector<std::string>{"app.exe"});
  EXPECT_EQ(ReadFile(File("app.exe")), "v1");
  EXPECT_FALSE(journal.Exists());
}

TEST_F(UpdateJournalTest, CompletionNeedsTheCommitAndEveryPlacedFileAsPlaced) {
  WriteFile(File("app.exe"), "v1");
  ASSERT_TRUE(Replace("app.exe", "v2"));
  std::vector<std::string> failed;
  // Without its commit the update is undone.
  EXPECT_EQ(RecoverUpdate(journal, failed), TRecovery::RolledBack);
  EXPECT_EQ(ReadFile(File("app.exe")), "v1");
  ASSERT_TRUE(Replace("app.exe", "v2"));
  journal.Record("commit");
  WriteFile(File("app.exe"), "changed since");  // no longer what was placed
  EXPECT_EQ(RecoverUpdate(journal, failed), TRecovery::RolledBack);
  EXPECT_EQ(ReadFile(File("app.exe")), "v1");

  ASSERT_TRUE(Replace("app.exe", "v2"));
  journal.Record("commit");
  EXPECT_EQ(RecoverUpdate(journal, failed), TRecovery::Completed);
  EXPECT_EQ(FilesBelow(folder), std::vector<std::string>{"app.exe"}) << "the backup goes";
  EXPECT_EQ(ReadFile(File("app.exe")), "v2");
  EXPECT_EQ(RecoverUpdate(journal, failed), TRecovery::None);
}

TEST_F(UpdateJournalTest, AHandoffWhoseProcessRunsIsLeftAloneAndACutLineIsNoRecord) {
  WriteFile(File("app.exe"), "v1");
  ASSERT_TRUE(Replace("app.exe", "v2"));
  // A running program stands for the stub of the handoff.
  TRunningProgram stub(
      {KAVREL_TEST_APP1_PATH}, dir.Path(),
      {{"KAVREL_TEST_RECORD", dir.File("record")}, {"KAVREL_TEST_LINGER", "5000"}});
  journal.Record("handoff", {std::to_string(stub.Pid())});
  std::vector<std::string> failed;
  EXPECT_EQ(RecoverUpdate(journal, failed), TRecovery::Busy);
  EXPECT_EQ(ReadFile(File("app.exe")), "v2");
  stub.Kill();
  EXPECT_EQ(RecoverUpdate(journal, failed), TRecovery::RolledBack);
  EXPECT_EQ(ReadFile(File("app.exe")), "v1");
  // A record cut short by a kill is not read.
  WriteFile(dir.File("j.journal"), "begin a b\ncommit");
  EXPECT_EQ(journal.Records().size(), 1u);
}

TEST(RolledBackMark, OnlyANewerUpdateOfTheSameKindIsAppliedAgain) {
  EXPECT_FALSE(NewerUpdate("sequence:7", "sequence:7"));
  EXPECT_FALSE(NewerUpdate("sequence:6", "sequence:7"));
  EXPECT_TRUE(NewerUpdate("sequence:8", "sequence:7"));
  EXPECT_FALSE(NewerUpdate("date:1000", "date:1000"));
  EXPECT_TRUE(NewerUpdate("date:1001", "date:1000"));
  EXPECT_TRUE(NewerUpdate("sequence:1", "date:1000")) << "the publisher changed its scheme";
}

}  // namespace
}  // namespace kavrel::test
