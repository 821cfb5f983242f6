// Input from outside (control files, the locale, hand-edited hives) that must
// neither lose a file nor hang or exhaust the engine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "ControlFile.h"
#include "FileMeasures.h"
#include "Files.h"
#include "IniDocument.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "RecordingEngine.h"
#include "Registry.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

TEST(InputHardening, CopyingAFileOntoItselfUnderAnotherSpellingKeepsIt) {
  TTempDir dir;
  WriteFile(dir.File("update.ini"), "[update]\r\n");
  TRecordingEngine engine;
  EXPECT_FALSE(engine.CopyLocalFile(dir.Path() + "\\update.ini", dir.File("update.ini")));
  EXPECT_EQ(engine.statuses.back().Ident, 912);
  EXPECT_EQ(ReadFile(dir.File("update.ini")), "[update]\r\n");
}

TEST(InputHardening, AnAbsurdFileCountIsBounded) {
  TTempDir dir;
  WriteFile(dir.File("update.ini"), "[files]\r\ncount=2147483647\r\n");
  class TEngine : public TRecordingEngine {
   public:
    void Use(const std::string& path) { ControlFileName = path; }
  } engine;
  engine.Use(dir.File("update.ini"));
  EXPECT_EQ(engine.ReadFileList(), 2147483647);
  EXPECT_EQ(engine.FileList.Count(), 10000u);
}

TEST(InputHardening, DevicesAndPipesAreNotReadAsFiles) {
#ifdef _WIN32
  // A named pipe with an instance waiting for each of the two opens.
  const std::string pipe = "\\\\.\\pipe\\kavrel-test-" + std::to_string(::GetCurrentProcessId());
  HANDLE instances[2];
  for (HANDLE& instance : instances) {
    instance = ::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                  PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    ASSERT_NE(instance, INVALID_HANDLE_VALUE);
  }
  const std::string paths[] = {"NUL", pipe};
#else
  TTempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string paths[] = {"/dev/zero", fifo};
#endif
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ByteSumChecksum(path), -1);
    EXPECT_FALSE(platform::ReadWholeFile(path));
  }
#ifdef _WIN32
  for (HANDLE instance : instances) ::CloseHandle(instance);
#endif
}

TEST(InputHardening, RememberedDatesUseFormatsThatReadBack) {
  TFormatSettings latvian;  // "%Y.%m.%d." ends in a separator
  latvian.ShortDateFormat = "yyyy/mm/dd/";
  latvian.DateSeparator = '.';
  TFormatSettings named;  // month names
  named.ShortDateFormat = "dd mmm, yyyy";
  named.LongTimeFormat = "hh:nn:ss ampm";
  for (const TFormatSettings& settings : {latvian, named}) {
    const TFormatSettings readable = ReadableFormats(settings);
    const TDateTime when = EncodeDateTime({2010, 12, 31, 23, 59, 58, 0});
    const auto date = ParseDate(FormatDateTime(readable.ShortDateFormat, when, readable),
                                readable.ShortDateFormat, readable.DateSeparator, 2010);
    ASSERT_TRUE(date);
    EXPECT_EQ(*date, EncodeDateTime({2010, 12, 31, 0, 0, 0, 0}));
  }
  TFormatSettings usual;
  usual.ShortDateFormat = "dd/mm/yyyy";
  EXPECT_EQ(ReadableFormats(usual).ShortDateFormat, "dd/mm/yyyy") << "kept where it works";
}

#ifndef _WIN32  // Windows has its registry, not hive files
TEST(InputHardening, HivesKeepTheirPermissionsAndOneSectionPerKey) {
  TTempDir hives;
  TScopedEnv dir("KAVREL_REGISTRY_DIR", hives.Path());
  const std::string hive = hives.File("HKEY_LOCAL_MACHINE.ini");
  // Neither the private mode of the file written beside the hive nor the mode
  // of a new file takes the place of the hive's own.
  for (const mode_t mode : {mode_t{0644}, mode_t{0600}}) {
    WriteFile(hive, "[\\Software\\X\\S]\r\nLastDate=old\r\n[Software/X/S]\r\nLastDate=other\r\n");
    ASSERT_EQ(::chmod(hive.c_str(), mode), 0);
    auto key = platform::OpenRegistryKey(platform::TRegRoot::LocalMachine, "Software\\X\\S",
                                         platform::TRegAccess::Full, false);
    ASSERT_TRUE(key);
    key->WriteString("LastDate", "new");
    EXPECT_EQ(key->ReadString("LastDate"), "new");
    EXPECT_EQ(ModeOf(hive), mode) << std::oct << "0" << ModeOf(hive) << " instead of 0" << mode;
  }
}
#endif

TEST(InputHardening, DriveRelativeFoldersLoseTheirSeparatorToo) {
  EXPECT_EQ(MacroPathForm("C:x\\"), "C:x");
  EXPECT_EQ(MacroPathForm("C:"), std::string("C:") + platform::kNativeSeparator + ".");
}

}  // namespace
}  // namespace kavrel::test
