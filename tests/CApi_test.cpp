// The C interface as a host uses it, linked as a host links the engine's
// library: properties by name, whole runs against the local server with
// their statuses, progress, questions and cancel, and errors that stay on
// this side of the interface.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CabinetImage.h"
#include "InstallationRun.h"
#include "UpdateJournal.h"
#include "UserInterface.h"
#include "kavrel.h"

namespace kavrel::test {
namespace {

using THandle = std::unique_ptr<kavrel_t, decltype(&kavrel_free)>;

THandle NewEngine() { return {kavrel_new(), &kavrel_free}; }

std::string Get(kavrel_t* engine, const char* name) {
  std::string value(kavrel_get_size(engine, name), '\0');
  EXPECT_EQ(kavrel_get(engine, name, value.data(), value.size()), KAVREL_OK) << name;
  return value.substr(0, value.find('\0'));
}

TEST(CApiProperties, SetGetAndRefusalsByName) {
  struct TCase {
    const char* name;
    const char* value;
    int status;
    const char* readBack;  // the property's text afterwards: the value, or the one it kept
    const char* error;     // what kavrel_last_error says of a refusal
  } cases[] = {
      {"updatetype", "fileUpdate", KAVREL_OK, "fileUpdate", ""},
      {"PostUpdateInfo.Server", "example.org:8080", KAVREL_OK, "example.org:8080", ""},
      {"DateSeparator", "年", KAVREL_OK, "年", ""},
      {"Port", "twenty", KAVREL_BAD_ARGUMENT, "21", "property Port does not accept"},
      {"DateSeparator", "ab", KAVREL_BAD_ARGUMENT, "/", "exactly one character"},
      {"NoSuchProperty", "1", KAVREL_BAD_ARGUMENT, nullptr, "unknown property NoSuchProperty"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    const THandle engine = NewEngine();
    EXPECT_EQ(kavrel_set(engine.get(), c.name, c.value), c.status);
    EXPECT_NE(std::string(kavrel_last_error(engine.get())).find(c.error), std::string::npos)
        << kavrel_last_error(engine.get());
    if (c.readBack != nullptr) {
      EXPECT_EQ(Get(engine.get(), c.name), c.readBack);
    }
  }
}

// The confirmation a restarted application gives is the one the updater
// stub's health check waits for.
TEST(CApiConfirm, WritesTheInstallationsStartConfirmation) {
  const THandle engine = NewEngine();
  std::remove(kavrel::StartConfirmationPath().c_str());
  ASSERT_EQ(kavrel_confirm(engine.get()), KAVREL_OK) << kavrel_last_error(engine.get());
  EXPECT_TRUE(ReadFile(kavrel::StartConfirmationPath()));
  std::remove(kavrel::StartConfirmationPath().c_str());
  EXPECT_EQ(kavrel_confirm(nullptr), KAVREL_BAD_ARGUMENT);
}

TEST(CApiProperties, GetTellsTheBufferItNeeds) {
  const THandle engine = NewEngine();
  ASSERT_EQ(kavrel_get_size(engine.get(), "Agent"), 8u);  // "TKavrel" and its NUL
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(kavrel_get(engine.get(), "Agent", buffer, 7), KAVREL_BUFFER_TOO_SMALL);
  EXPECT_STREQ(buffer, "");
  EXPECT_NE(std::string(kavrel_last_error(engine.get())).find("8 bytes"), std::string::npos);
  EXPECT_EQ(kavrel_get(engine.get(), "Agent", buffer, 8), KAVREL_OK);
  EXPECT_STREQ(buffer, "TKavrel");
  EXPECT_STREQ(kavrel_last_error(engine.get()), "");  // a call that succeeds clears it

  EXPECT_EQ(kavrel_get_size(engine.get(), "Nothing"), 0u);
  EXPECT_EQ(kavrel_get(engine.get(), "Nothing", buffer, 8), KAVREL_BAD_ARGUMENT);
  EXPECT_EQ(kavrel_get(engine.get(), nullptr, buffer, 8), KAVREL_BAD_ARGUMENT);
  // No handle: refused, never a crash.
  EXPECT_EQ(kavrel_set(nullptr, "Agent", "x"), KAVREL_BAD_ARGUMENT);
  EXPECT_EQ(kavrel_run(nullptr), KAVREL_BAD_ARGUMENT);
  EXPECT_EQ(kavrel_last_status(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_STRNE(kavrel_last_error(nullptr), "");
  // The library's version is the engine's, which adds a build number.
  EXPECT_EQ(Get(engine.get(), "Version").rfind(std::string(kavrel_version()) + ".", 0), 0u);
}

// What the callbacks of a run heard, and how they answer.
struct THost {
  struct TStatus {
    int id;
    std::string text;
  };
  std::vector<TStatus> statuses;
  std::vector<std::string> progress;  // "file position/size"
  std::vector<std::string> shown;     // questions and texts, as "[kind] caption: text"
  int boxAnswer = KAVREL_ANSWER_YES;
  int acceptWhatsNew = 1;
  int acceptLicense = 1;
  kavrel_t* cancelAtProgress = nullptr;  // cancels the run at its first progress

  void Wire(kavrel_t* k) {
    kavrel_on_status(
        k,
        [](void* c, int id, const char* text, int, int) {
          static_cast<THost*>(c)->statuses.push_back({id, text});
        },
        this);
    kavrel_on_progress(
        k,
        [](void* c, const char* file, int64_t position, int64_t size) {
          auto* host = static_cast<THost*>(c);
          host->progress.push_back(std::string(file) + " " + std::to_string(position) + "/" +
                                   std::to_string(size));
          if (host->cancelAtProgress != nullptr) kavrel_cancel(host->cancelAtProgress);
        },
        this);
    kavrel_on_message_box(
        k,
        [](void* c, const char* text, const char* caption, int, int) {
          auto* host = static_cast<THost*>(c);
          host->shown.push_back("[box] " + std::string(caption) + ": " + text);
          return host->boxAnswer;
        },
        this);
    kavrel_on_whats_new(
        k,
        [](void* c, const char* caption, const char* text) {
          auto* host = static_cast<THost*>(c);
          host->shown.push_back("[whatsnew] " + std::string(caption) + ": " + text);
          return host->acceptWhatsNew;
        },
        this);
    kavrel_on_license(
        k,
        [](void* c, const char* caption, const char* text) {
          auto* host = static_cast<THost*>(c);
          host->shown.push_back("[license] " + std::string(caption) + ": " + text);
          return host->acceptLicense;
        },
        this);
  }
  std::vector<int> Ids() const {
    std::vector<int> ids;
    for (const TStatus& s : statuses) ids.push_back(s.id);
    return ids;
  }
  bool Saw(int id) const {
    for (const TStatus& s : statuses)
      if (s.id == id) return true;
    return false;
  }
};

// An interface a C++ host installed: answers No, and tells what it was asked.
class TRecordingInterface : public platform::IUserInterface {
 public:
  platform::TModalResult MessageBox(std::string_view text, std::string_view, platform::TMsgKind,
                                    platform::TMsgButtons) override {
    asked.emplace_back(text);
    return platform::TModalResult::No;
  }
  void ProcessMessages() override {}
  bool ShowLoginDialog(std::string_view, std::string&, std::string&) override { return false; }
  std::vector<std::string> asked;
};

// Runs in this process, in the installation's folders, on an engine set to
// the published control file.
class CApiRun : public TInstallationRun {
 protected:
  CApiRun() : CApiRun("", "") {}
  CApiRun(const std::string& user, const std::string& password) : TInstallationRun(user, password) {
    for (const auto& [name, value] : Environment())
      environment_.push_back(std::make_unique<TScopedEnv>(name, value));
  }

  THandle Engine(const std::vector<std::pair<std::string, std::string>>& properties = {},
                 const std::string& control = "update.ini") {
    THandle engine = NewEngine();
    EXPECT_EQ(kavrel_set(engine.get(), "URL", server.Url(control).c_str()), KAVREL_OK);
    EXPECT_EQ(kavrel_set(engine.get(), "UpdateUpdate", "kvuSilent"), KAVREL_OK);
    EXPECT_EQ(kavrel_set(engine.get(), "UseWinTempDir", "False"), KAVREL_OK);  // into "."
    for (const auto& [name, value] : properties)
      EXPECT_EQ(kavrel_set(engine.get(), name.c_str(), value.c_str()), KAVREL_OK) << name;
    return engine;
  }

  std::vector<std::unique_ptr<TScopedEnv>> environment_;
  TScopedCurrentDir current_{app.Path()};
};

TEST_F(CApiRun, ARunReportsEveryStatusAndItsProgressAndPutsTheFileInPlace) {
  Publish({{"url=" + server.Url("gen/100000/data.bin")}});
  const THandle engine = Engine();
  THost host;
  host.Wire(engine.get());
  ASSERT_EQ(kavrel_run(engine.get()), KAVREL_UPDATED) << kavrel_last_error(engine.get());
  EXPECT_TRUE(ReadFile(app.File("data.bin")) == GeneratedBytes(100000));

  const std::vector<int> ids = host.Ids();
  ASSERT_FALSE(ids.empty());
  EXPECT_EQ(ids.front(), 968);
  EXPECT_TRUE(host.Saw(926) && host.Saw(948)) << ::testing::PrintToString(ids);
  ASSERT_FALSE(host.progress.empty());
  const std::string last = host.progress.back();
  EXPECT_NE(last.find("data.bin 100000/100000"), std::string::npos) << last;
  // The last status as the host can read it back.
  const char* text = nullptr;
  int status = -1, error = -1;
  EXPECT_EQ(kavrel_last_status(engine.get(), &text, &status, &error), ids.back());
  EXPECT_EQ(text, host.statuses.back().text);
  EXPECT_FALSE(kavrel_handed_over(engine.get()));
}

TEST_F(CApiRun, ItsOwnCallbacksCannotRunTheEngineAgainAndFreeItOnceTheRunHasReturned) {
  Publish({{"url=" + server.Url("gen/10/data.bin")}});
  struct TState {
    kavrel_t* engine;
    int nested = -1;
  } state{Engine().release()};
  kavrel_on_status(
      state.engine,
      [](void* c, int id, const char*, int, int) {
        auto* s = static_cast<TState*>(c);
        if (id == 926) s->nested = kavrel_run(s->engine);
        if (id == 948) kavrel_free(s->engine);
      },
      &state);
  // Under the sanitizers, also no use of the freed handle.
  EXPECT_EQ(kavrel_run(state.engine), KAVREL_UPDATED);
  EXPECT_EQ(state.nested, KAVREL_BAD_ARGUMENT);
}

TEST_F(CApiRun, TheHandoffIsAskedForAfterARunAndMayBeDeclined) {
  Publish({{"url=" + server.Url("gen/10/data.bin")}});
  const THandle engine = Engine();
  EXPECT_EQ(kavrel_restart(engine.get()), KAVREL_BAD_ARGUMENT);  // no run to hand over yet
  ASSERT_EQ(kavrel_run(engine.get()), KAVREL_UPDATED);
  THost host;
  host.Wire(engine.get());
  host.boxAnswer = KAVREL_ANSWER_NO;
  EXPECT_EQ(kavrel_restart(engine.get()), KAVREL_FAILED);
  EXPECT_EQ(host.shown,
            std::vector<std::string>{"[box] Confirm: Shutdown application to update executable "
                                     "files ?"});
  EXPECT_EQ(host.Ids(), std::vector<int>{959});
  EXPECT_FALSE(kavrel_handed_over(engine.get()));
}

TEST_F(CApiRun, ACancelLeavesTheFileAsItWasAndTheNextRunStartsAfresh) {
  WriteFile(app.File("data.bin"), "version 1");
  const THandle engine = Engine();
  THost host;
  host.Wire(engine.get());
  // From a callback of the run.
  Publish({{"url=" + server.Url("slow-20-4096/gen/400000/data.bin")}});
  host.cancelAtProgress = engine.get();
  EXPECT_EQ(kavrel_run(engine.get()), KAVREL_CANCELLED);
  EXPECT_TRUE(host.Saw(964));
  EXPECT_EQ(ReadFile(app.File("data.bin")), "version 1");
  host.cancelAtProgress = nullptr;

  // From another thread, while the server sends nothing for a minute.
  Publish({{"url=" + server.Url("slow-60000-1000/gen/3000/data.bin")}});
  const auto start = std::chrono::steady_clock::now();
  std::thread canceller([&engine] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kavrel_cancel(engine.get());
  });
  EXPECT_EQ(kavrel_run(engine.get()), KAVREL_CANCELLED);
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(ReadFile(app.File("data.bin")), "version 1");

  Publish({{"url=" + server.Url("gen/400000/data.bin")}});
  EXPECT_EQ(kavrel_run(engine.get()), KAVREL_UPDATED);
  EXPECT_TRUE(ReadFile(app.File("data.bin")) == GeneratedBytes(400000));
}

TEST_F(CApiRun, QuestionsAndTextsGoToTheCallbacksOrElseToTheInterfaceInForce) {
  WriteFile(www.File("news.txt"), "Faster\r\nSmaller\r\n");
  WriteFile(www.File("eula.txt"), "Terms\r\n");
  Publish({{"url=" + server.Url("gen/10/data.bin")}},
          "[action]\r\nquery=Install now?\r\n[whatsnew]\r\nfile=" + server.Url("news.txt") +
              "\r\n[eula]\r\nfile=" + server.Url("eula.txt") + "\r\n");
  struct TCase {
    const char* name;
    int boxAnswer, acceptWhatsNew, acceptLicense;
    int status;
    std::size_t shown;  // questions and texts the callbacks saw
  } cases[] = {
      {"all accepted", KAVREL_ANSWER_YES, 1, 1, KAVREL_UPDATED, 3},
      {"question answered No", KAVREL_ANSWER_NO, 1, 1, KAVREL_REFUSED, 1},
      {"licence declined", KAVREL_ANSWER_YES, 1, 0, KAVREL_REFUSED, 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const THandle engine = Engine();
    THost host;
    host.Wire(engine.get());
    host.boxAnswer = c.boxAnswer;
    host.acceptWhatsNew = c.acceptWhatsNew;
    host.acceptLicense = c.acceptLicense;
    EXPECT_EQ(kavrel_run(engine.get()), c.status);
    ASSERT_EQ(host.shown.size(), c.shown) << ::testing::PrintToString(host.shown);
    EXPECT_EQ(host.shown[0], "[box] Question: Install now?");
    if (c.shown > 1) {
      EXPECT_EQ(host.shown[1].rfind("[whatsnew] ", 0), 0u);
      EXPECT_NE(host.shown[1].find(": Faster\nSmaller\n"), std::string::npos) << host.shown[1];
      EXPECT_NE(host.shown[2].find(": Terms\n"), std::string::npos) << host.shown[2];
    }
  }

  // Without callbacks the interface in force answers, and is in force again
  // after the run: here a C++ host's own, which says No.
  const auto mine = std::make_shared<TRecordingInterface>();
  const auto before = platform::SetUserInterface(mine);
  const THandle engine = Engine();
  EXPECT_EQ(kavrel_run(engine.get()), KAVREL_REFUSED);
  EXPECT_EQ(mine->asked, std::vector<std::string>{"Install now?"});
  EXPECT_EQ(&platform::UserInterface(), mine.get());
  platform::SetUserInterface(before);
}

TEST_F(CApiRun, AnErrorThatEndsTheRunIsAStatusAndAMessageNotAnException) {
  Publish({{"url=" + server.Url("gen/10/data.bin")}});
  // A log that is a folder cannot be written.
  const auto mine = std::make_shared<TRecordingInterface>();
  const auto before = platform::SetUserInterface(mine);
  WriteFile(app.File("logs/keep"), "");
  const THandle engine = Engine({{"Logging", "True"}, {"LogFileName", app.File("logs")}});
  EXPECT_EQ(kavrel_run(engine.get()), KAVREL_FAILED);
  EXPECT_STRNE(kavrel_last_error(engine.get()), "");
  EXPECT_EQ(&platform::UserInterface(), mine.get());
  platform::SetUserInterface(before);
}

TEST_F(CApiRun, APatchIsAppliedWithTheUtilityTheLibraryCarries) {
  // The worked example of a delta update: a patch with the whole file as its
  // fallback, which is fetched only when the patch cannot be applied.
  const std::string example = std::string(KAVREL_EXAMPLES_DIR) + "/delta-update";
  CopyFilesBelow(example + "/site", www.Path());
  CopyFilesBelow(example + "/before", app.Path());
  std::string control = ReadFile(example + "/update.ini").value();
  std::string base = server.Url("");
  base.pop_back();
  for (std::size_t at; (at = control.find("@BASE@")) != std::string::npos;)
    control.replace(at, 6, base);
  WriteFile(www.File("update.ini"), control);
  const THandle engine = Engine({{"ApplyPatch", "True"}, {"UseCRC32", "True"}});
  THost host;
  host.Wire(engine.get());
  ASSERT_EQ(kavrel_run(engine.get()), KAVREL_UPDATED);
  EXPECT_TRUE(ReadFile(app.File("maps.bin")) == ReadFile(example + "/after/maps.bin"));
  EXPECT_FALSE(host.Saw(987));
  EXPECT_EQ(FetchedPaths(), std::vector<std::string>{"/maps-1.0-1.1.pat"});
}

class CApiLoginRun : public CApiRun {
 protected:
  CApiLoginRun() : CApiRun("acme", "secret") {}
};

TEST_F(CApiLoginRun, TheLoginCallbackGivesTheCredentials) {
  WriteFile(www.File("update.ini"), ControlFile({{"url=" + server.Url("gen/10/data.bin")}}));
  const THandle engine = Engine({{"Authenticate", "kaAuto"}}, "auth/update.ini");
  std::string caption;
  kavrel_on_login(
      engine.get(),
      [](void* c, const char* text, char* user, char* password) {
        *static_cast<std::string*>(c) = std::string(text) + " as [" + user + "]";
        std::snprintf(user, KAVREL_LOGIN_FIELD_SIZE + 1, "%s", "acme");
        std::snprintf(password, KAVREL_LOGIN_FIELD_SIZE + 1, "%s", "secret");
        return 1;
      },
      &caption);
  EXPECT_EQ(kavrel_run(engine.get()), KAVREL_UPDATED);
  EXPECT_EQ(caption, "Connect to 127.0.0.1:" + std::to_string(server.Port()) + " as []");
  EXPECT_EQ(Get(engine.get(), "UserID"), "acme");
  EXPECT_EQ(ReadFile(app.File("data.bin")), GeneratedBytes(10));
}

}  // namespace
}  // namespace kavrel::test
