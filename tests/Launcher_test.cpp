// The launcher without its window: the settings file's transform and reading,
// and the form's handlers driven with a scripted user interface.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "ChildProcess.h"
#include "Errors.h"
#include "Files.h"
#include "LauncherInstallation.h"
#include "PropertyTable.h"
#include "RecordingEngine.h"
#include "SettingsFile.h"
#include "StatusMessages.h"
#include "StubHandoff.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "Unit3.h"

namespace kavrel::test {
namespace {

using launcher::ScrambleBytes;

constexpr int kKey = 5190347;

TEST(SettingsFile, TransformIsItsOwnInverseKeyedByPositionAndTheKeysLow16Bits) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>((i * 37) % 256);
  EXPECT_EQ(ScrambleBytes(ScrambleBytes(bytes, kKey), kKey), bytes);
  EXPECT_EQ(ScrambleBytes("", kKey), "");
  // Byte 0 is masked with 0xCB (the key's low byte), byte 1 with 0x65.
  EXPECT_EQ(ScrambleBytes("[C", kKey), "\x6f\xd9");
  const std::string zeros(64, '\0');
  const std::string masked = ScrambleBytes(zeros, kKey);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(masked[i], masked[i + 32]) << i;
  for (int i = 16; i < 32; ++i) EXPECT_EQ(masked[i], '\xff') << "only inverted at " << i;
  EXPECT_EQ(ScrambleBytes(bytes, kKey), ScrambleBytes(bytes, 0x32CB));
  EXPECT_EQ(ScrambleBytes(bytes, kKey), ScrambleBytes(bytes, kKey + 7 * 65536));
}

TEST(SettingsFile, AddressIsReadWithoutTheFileEverBeingRewritten) {
  TTempDir folder;
  const std::string path = folder.File("Data/Sound/QZ.au");
  const struct {
    const char* plain;
    bool scrambled;
    const char* address;
  } cases[] = {
      {"[Conf]\r\nAdd=http://127.0.0.1/update.ini\r\n", true, "http://127.0.0.1/update.ini"},
      {"[conf]\r\nadd = \"ftp://h/u.ini\"\r\n[Other]\r\nAdd=x\r\n", true, "ftp://h/u.ini"},
      {"[Conf]\r\nOther=1\r\n", true, ""},
      {"", true, ""},
      // Left plain by someone: unreadable, and left exactly as it is.
      {"[Conf]\r\nAdd=http://127.0.0.1/update.ini\r\n", false, ""},
  };
  for (const auto& c : cases) {
    const std::string stored = c.scrambled ? ScrambleBytes(c.plain, kKey) : c.plain;
    WriteFile(path, stored);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);  // nothing may write it
    EXPECT_EQ(launcher::ReadSettingsAddress(folder.Path()), c.address) << c.plain;
    EXPECT_EQ(ReadFile(path), stored) << c.plain;
    ::chmod(path.c_str(), 0644);
  }
  WriteFile(path,
            ScrambleBytes("[Conf]\r\nAdd=u\r\nKey=RWQ1 RWQ2\r\nProduct=Demo\r\nApplyPatch=1\r\n"
                          "HealthCheck=99999\r\n",
                          kKey));
  const launcher::TLauncherSettings settings = launcher::ReadSettings(folder.Path());
  EXPECT_EQ(settings.Address, "u");
  EXPECT_EQ(settings.PublicKey, "RWQ1 RWQ2");
  EXPECT_EQ(settings.Product, "Demo");
  EXPECT_TRUE(settings.ApplyPatch);
  EXPECT_EQ(settings.HealthCheck, 3600) << "an hour at most";
  // Beyond any settings file's size: refused, not read whole.
  WriteFile(path, std::string(2 << 20, 'x'));
  EXPECT_THROW(launcher::ReadSettingsAddress(folder.Path()), platform::EInOutError);
  std::filesystem::remove(path);
  EXPECT_THROW(launcher::ReadSettingsAddress(folder.Path()), platform::EInOutError);
}

#ifndef _WIN32  // links and devices as POSIX has them
TEST(SettingsFile, ScrambleWritesThroughALinkAndRefusesWhatIsNoFile) {
  TTempDir folder;
  WriteFile(folder.File("plain.ini"), "[Conf]\r\nAdd=u\r\n");
  WriteFile(folder.File("real.au"), "old");
  ASSERT_EQ(::symlink("real.au", folder.File("link.au").c_str()), 0);
  launcher::ScrambleFile(folder.File("plain.ini"), folder.File("link.au"), kKey);
  EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.au"))) << "the link stays a link";
  EXPECT_EQ(ReadFile(folder.File("real.au")), ScrambleBytes("[Conf]\r\nAdd=u\r\n", kKey));
  for (const std::string& target : {std::string("/dev/null"), folder.Path()})
    EXPECT_THROW(launcher::ScrambleFile(folder.File("plain.ini"), target, kKey),
                 platform::EInOutError)
        << target;
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}
#endif

class TRecordingView : public launcher::TForm3View {
 public:
  void LoadPicture(const std::string& path) override { pictures.push_back(path); }
  void ShowProgress(int maximum, int position) override { progress.push_back({maximum, position}); }
  void Close() override { ++closes; }
  std::vector<std::string> pictures;
  std::vector<std::pair<int, int>> progress;
  int closes = 0;
};

// A user interface whose boxes are dismissed without OK (the close box).
class TDismissingUi : public platform::TScriptedUserInterface {
 public:
  TDismissingUi() : TScriptedUserInterface({}, shown_) {}
  platform::TModalResult MessageBox(std::string_view, std::string_view, platform::TMsgKind,
                                    platform::TMsgButtons) override {
    return platform::TModalResult::None;
  }

 private:
  std::ostringstream shown_;
};

class FormTest : public ::testing::Test {
 protected:
  FormTest() : form(std::make_unique<TRecordingEngine>(), view) {
    // Every handoff the form asks for stops at the cancel question, after 959.
    engine().OnProgressCancel = [](TKavrel&, bool& cancel) { cancel = true; };
  }
  TRecordingEngine& engine() { return static_cast<TRecordingEngine&>(form.Kavrel1()); }
  int Handoffs() {
    int n = 0;
    for (const TStatusRecord& s : engine().statuses) n += s.Ident == 959;
    return n;
  }

  TRecordingView view;
  launcher::TForm3 form;
};

TEST(FormCloseTest, ClosingTheWindowCancelsTheRunAndShowsNoBox) {
  TTempDir www, dir;
  THttpTestServer server(www.Path());
  WriteFile(www.File("update.ini"),
            ControlFile({{"url=" + server.Url("slow-50-4096/gen/400000/big.bin"), "descr=Big"}}));
  // The window manager's close, as the first bytes arrive.
  struct TClosingView : TRecordingView {
    void ShowProgress(int maximum, int position) override {
      TRecordingView::ShowProgress(maximum, position);
      if (progress.size() == 1) CloseRequested();
    }
  } view;
  launcher::TForm3 form(std::make_unique<TRecordingEngine>(), view);
  TScopedCurrentDir here(dir.Path());
  TScopedTempFolder temp(dir.Path());
  TScopedScriptedUi ui;
  form.Kavrel1().URL = server.Url("update.ini");
  const auto started = std::chrono::steady_clock::now();
  form.Kavrel1().RunUpdate();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4))
      << "not the whole slow transfer";
  EXPECT_EQ(form.Kavrel1().Outcome(), TKavrel::TRunOutcome::Cancelled);
  EXPECT_EQ(view.closes, 1);
  EXPECT_EQ(ui.Shown().find(launcher::kNotFoundBox), std::string::npos) << ui.Shown();
  EXPECT_FALSE(ReadFile(dir.File("big.bin")));
}

TEST_F(FormTest, StoredPropertiesAndTheHandlersThatAllow) {
  // The launcher's window stores these; everything else keeps its default.
  const std::pair<const char*, const char*> stored[] = {{"Agent", "TKavrel"},
                                                        {"DateFormat", "dd/mm/yyyy"},
                                                        {"DateSeparator", "/"},
                                                        {"ExtractCAB", "True"},
                                                        {"LogFileName", "KAVREL.LOG"},
                                                        {"PostUpdateInfo.Enabled", "False"},
                                                        {"Signature", "Kavrel"},
                                                        {"TempDirectory", "."},
                                                        {"TimeFormat", "hh:nn"},
                                                        {"TimeSeparator", ":"},
                                                        {"UpdateUpdate", "kvuSilent"},
                                                        {"UseCRC32", "True"},
                                                        {"UseWinTempDir", "False"},
                                                        {"Version", "2.0.12.0"},
                                                        {"URL", ""},
                                                        {"Logging", "False"},
                                                        {"UpdateType", "httpUpdate"},
                                                        {"Port", "21"}};
  for (const auto& [name, value] : stored)
    EXPECT_EQ(GetPropertyAsText(form.Kavrel1(), name), value) << name;
  bool allow = false;
  engine().OnAppRestart(engine(), allow);
  EXPECT_TRUE(allow);
  allow = false;
  engine().OnProcessPostResult(engine(), allow);
  EXPECT_TRUE(allow);
}

TEST_F(FormTest, StatusCodeTwoBoxClosesOnlyWhenConfirmed) {
  {
    TScopedScriptedUi ui;
    form.Kavrel1Status(engine(), "Could not open file", 2, 0);
    EXPECT_EQ(ui.Shown(), std::string("[box] ") + launcher::kNotFoundBox + "\n");
    EXPECT_EQ(form.Label2Caption, "Could not open file");
    EXPECT_EQ(view.closes, 1);
  }
  const auto previous = platform::SetUserInterface(std::make_shared<TDismissingUi>());
  form.Kavrel1Status(engine(), "Could not open file", 2, 0);
  platform::SetUserInterface(previous);
  EXPECT_EQ(view.closes, 1) << "dismissed with the close box";
  form.Kavrel1Status(engine(), "anything", 3, 2);
  EXPECT_EQ(view.closes, 1) << "only the status code counts";
}

TEST_F(FormTest, HandoffOnTheExactTextOfMessage948AndOnAnEmptyFileList) {
  const std::string finished(StatusMessageText(948));
  for (const std::string& text : TStrings{finished + ".", "finished processing update control file",
                                          " " + finished, std::string("Spawn x")})
    form.Kavrel1Status(engine(), text, 3, 0);
  EXPECT_EQ(Handoffs(), 0);
  form.Kavrel1Status(engine(), finished, 3, 0);
  EXPECT_EQ(Handoffs(), 1);

  TStrings list = {"Demo tool 2.0", "Read me"};
  form.Kavrel1GetFileList(engine(), list);
  EXPECT_EQ(Handoffs(), 1);
  EXPECT_EQ(list, (TStrings{"Demo tool 2.0", "Read me"})) << "every file stays selected";
  EXPECT_EQ(form.CheckListBox1, (std::vector<std::pair<std::string, bool>>{{"Demo tool 2.0", true},
                                                                           {"Read me", true}}));
  TStrings empty;
  form.Kavrel1GetFileList(engine(), empty);
  EXPECT_EQ(Handoffs(), 2);
}

TEST_F(FormTest, ProgressBarFollowsEachFile) {
  form.Kavrel1FileProgress(engine(), "a.bin", 4096, 10000);
  form.Kavrel1FileProgress(engine(), "b.bin", 100, 300);
  EXPECT_EQ(view.progress, (std::vector<std::pair<int, int>>{{10000, 4096}, {300, 100}}));
  EXPECT_EQ(form.ProgressMax, 300);
  EXPECT_EQ(form.ProgressPos, 100);
}

TEST_F(FormTest, CreationReadsSettingsThenPictureAndAnErrorSkipsTheRest) {
  TTempDir start;
  TScopedCurrentDir here(start.Path());
  {
    TScopedScriptedUi ui;
    form.FormCreate();
#ifdef _WIN32
    // The message names the file by its Windows path.
    const std::string settings = start.Path() + "\\Data\\Sound\\QZ.au";
#else
    const std::string settings = start.Path() + "/Data/Sound/QZ.au";
#endif
    EXPECT_NE(ui.Shown().find("[box] Cannot open file \"" + settings + "\""), std::string::npos)
        << ui.Shown();
  }
  EXPECT_EQ(form.Kavrel1().URL, "");
  EXPECT_EQ(view.pictures, std::vector<std::string>{}) << "skipped after the error";
  WriteFile(start.File("Data/Sound/QZ.au"),
            ScrambleBytes("[Conf]\r\nAdd=http://h/u.ini\r\n", kKey));
  form.FormCreate();
  EXPECT_EQ(form.Kavrel1().URL, "http://h/u.ini");
  EXPECT_EQ(view.pictures, std::vector<std::string>{"tolvan.bmp"});
}

TEST_F(FormTest, OnlyTheFirstActivationRunsTheUpdate) {
  TTempDir start;
  TScopedCurrentDir here(start.Path());
  TScopedScriptedUi ui;
  form.Kavrel1().URL = "file:///nonexistent/update.ini";
  form.FormActivate();
  const std::size_t reported = engine().statuses.size();
  EXPECT_GT(reported, 0u);
  EXPECT_EQ(engine().statuses.front().Ident, 968) << engine().statuses.front().Arg;
  form.FormActivate();
  EXPECT_EQ(engine().statuses.size(), reported);
}

// The launcher program without a display, in an installation of its own.
TEST(HeadlessLauncher, HandsOverOrSaysWhyItWouldStayOpen) {
  TLauncherInstallation in;
  TTempDir &www = in.www, &base = in.base, &record = in.record;
  const std::string folder = in.folder;
  // The settings file as a publisher writes it, scrambled by the publisher's command.
  WriteFile(base.File("settings.ini"), "[Conf]\r\nAdd=" + in.server.Url("update.ini") + "\r\n");
  std::filesystem::remove(folder + "/Data/Sound/QZ.au");
  ASSERT_EQ(RunProgram({KavrelProgram(), "scramble", base.File("settings.ini"),
                        folder + "/Data/Sound/QZ.au"},
                       base.Path())
                .ExitCode,
            0);
  EXPECT_EQ(
      RunProgram({KavrelProgram(), "scramble", base.File("none.ini"), base.File("x")}, base.Path())
          .ExitCode,
      1);
  TEnvironment headless = in.Environment();
  headless.emplace_back("KAVREL_HEADLESS", "1");
  // Started from another folder, as a desktop's shortcut may: it works in its own.
  const auto run = [&] { return RunProgram({in.launcher}, base.Path(), headless); };

  // A picture cut short, or claiming a giant size, is refused, not shown.
  const std::string picture = ReadFile(KAVREL_SPLASH_PATH).value();
  std::string giant = picture;
  giant.replace(18, 4, std::string("\x00\x00\x01\x00", 4));
  for (const std::string& broken : {picture.substr(0, picture.size() / 2), giant}) {
    WriteFile(folder + "/tolvan.bmp", broken);
    const TProgramResult r = run();
    EXPECT_NE(r.Err.find("[box] Bitmap image is not valid: tolvan.bmp"), std::string::npos)
        << r.Err;
  }
  WriteFile(folder + "/tolvan.bmp", picture);

  const TProgramResult missing = run();  // no control file on the server yet
  EXPECT_EQ(missing.ExitCode, launcher::kExitFailed) << missing.Err;
  EXPECT_NE(missing.Err.find(std::string("[box] ") + launcher::kNotFoundBox), std::string::npos)
      << missing.Err;
  EXPECT_EQ(missing.Out.find("would stay open"), std::string::npos) << "the box's OK closes it";

  WriteFile(www.File("update.ini"), "[update]\r\nnewsize=1\r\nlocalversion=app.exe\r\n");
  const TProgramResult idle = run();  // no update applies
  EXPECT_EQ(idle.ExitCode, launcher::kExitDone) << idle.Err;
  EXPECT_NE(idle.Out.find("[926] Update control file found (Status:3) (Error:0)\n"),
            std::string::npos)
      << idle.Out;
  EXPECT_NE(idle.Out.find("its window would stay open and idle"), std::string::npos) << idle.Out;
  {
    // A reader of its output that goes away never ends it.
    TRunningProgram unread({in.launcher}, base.Path(), headless);
    unread.CloseOutput();
    EXPECT_EQ(unread.Wait().ExitCode, launcher::kExitDone);
  }

#ifndef _WIN32
  // Not yet under Wine: there the windowed program at a console of its own
  // ended with status 0 after Ctrl+C, which is still to be understood.
  // Ctrl+C in a transfer that crawls: the run is cancelled, and says so.
  WriteFile(www.File("update.ini"),
            ControlFile({{"url=" + in.server.Url("slow-1000-1/gen/100000/big.bin"), "descr=Big"},
                         {"url=" + in.server.Url("gen/10/small.bin"), "descr=Small"}}));
  {
    TRunningProgram crawling({in.launcher}, folder, headless, true);
    ASSERT_TRUE(crawling.WaitForOutput("big.bin (Status:3)", std::chrono::seconds(20)))
        << crawling.Output();
    crawling.Interrupt();
    const TProgramResult r = crawling.Wait(30);
    EXPECT_EQ(r.ExitCode, launcher::kExitCancelled);
    EXPECT_EQ((r.Out + r.Err).find(launcher::kNotFoundBox), std::string::npos)
        << "the server was there: no box says otherwise";
  }
#endif

  // Nobody answers a headless question: No, the update declined.
  WriteFile(www.File("update.ini"), "[update]\r\nunconditional=1\r\n[action]\r\nquery=Go on?\r\n");
  EXPECT_EQ(run().ExitCode, launcher::kExitDeclined);

  const std::string application = "[application]\r\nappupdate=1\r\nappname=app.exe\r\n";
  WriteFile(www.File("update.ini"),
            ControlFile({{"url=" + in.server.Url("app.exe_NEW"), "descr=App 2"}},
                        application + "appcomps=app.exe_NEW\r\n"));
  const TProgramResult updated = run();
  EXPECT_EQ(updated.ExitCode, 0) << updated.Err;
  EXPECT_NE(updated.Out.find("[958] Spawn "), std::string::npos) << updated.Out;
  const auto runs = WaitForFileLines(record.File("record"), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(TabFields(runs[0]).front(), "2");
  EXPECT_EQ(ReadFile(folder + "/app.exe"), ReadFile(KAVREL_TEST_APP2_PATH));

  // Everything up to date: the handoff comes from the empty file list.
  WriteFile(
      www.File("update.ini"),
      ControlFile({{"url=" + in.server.Url("app.exe_NEW"), "localversion=app.exe",
                    "newsize=" + std::to_string(std::filesystem::file_size(folder + "/app.exe"))}},
                  application));
  const TProgramResult current = run();
  EXPECT_NE(current.Out.find("[958] Spawn "), std::string::npos) << current.Out;
  EXPECT_EQ(current.Out.find("[948]"), std::string::npos) << current.Out;
  EXPECT_EQ(WaitForFileLines(record.File("record"), 2).size(), 2u) << "restarted again";

  // With "Run" the launcher is the application's entry point: a start that
  // finds no update starts the application itself.
  in.Settings("Run=app.exe first\r\n");
  WriteFile(www.File("update.ini"), "[update]\r\nnewsize=1\r\nlocalversion=app.exe\r\n");
  const TProgramResult started = run();
  EXPECT_EQ(started.ExitCode, launcher::kExitDone) << started.Err;
  EXPECT_EQ(started.Out.find("would stay open"), std::string::npos) << started.Out;
  const auto starts = WaitForFileLines(record.File("record"), 3);
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(TabFields(starts[2]).back(), "first");

  // A second launcher while an update of the installation runs says so and ends.
  std::string lockPath;
  {
    TScopedTempFolder temp(base.Path());
    TScopedCurrentDir here(folder);
    lockPath = InstallationLockPath();
  }
  const auto held = platform::TFileLock::TryTake(lockPath);
  ASSERT_TRUE(held);
  const TProgramResult second = run();
  EXPECT_NE(second.Err.find(std::string("[box] ") + launcher::kAlreadyRunningBox),
            std::string::npos)
      << second.Err;
  EXPECT_EQ(WaitForFileLines(record.File("record"), 4).size(), 3u) << "the other run starts it";
}

}  // namespace
}  // namespace kavrel::test
