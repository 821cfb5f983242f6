// kavrel-launcher: shows the splash window, learns the control file's address
// from the settings file and runs one update when the window is first
// activated. Without a display (or with KAVREL_HEADLESS=1) it runs the same
// handlers without a window, printing the status lines.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "HostEngine.h"
#include "Files.h"
#include "Processes.h"
#include "ScriptedUserInterface.h"
#include "Unit3.h"
#include "UserInterface.h"
#include "WindowRun.h"

namespace {

using kavrel::launcher::TForm3;

// The form's side of the window system when there is none: the picture is
// read all the same, so that a missing one is reported as with a window.
class THeadlessView final : public kavrel::launcher::TForm3View {
 public:
  void LoadPicture(const std::string& path) override { kavrel::launcher::CheckSplashPicture(path); }
  void ShowProgress(int, int) override {}
  void Close() override {}
};

// Without a display nobody can answer: boxes are printed and confirmed, the
// what's-new text is printed and taken as read, questions are answered No and
// a licence is never accepted for the user.
class THeadlessUserInterface final : public kavrel::platform::TScriptedUserInterface {
 public:
  THeadlessUserInterface() : TScriptedUserInterface({}, std::cerr) {}
  bool ShowWhatsNewDialog(const kavrel::platform::TTextDialog& dialog) override {
    WriteTextDialog("whatsnew", dialog);
    return true;
  }
};

int RunHeadless() {
  kavrel::platform::SetUserInterface(std::make_shared<THeadlessUserInterface>());
  THeadlessView view;
  TForm3 form(std::make_unique<kavrel::THostEngine>(std::cout), view);
  form.FormCreate();
  form.FormActivate();
  // Where the window would stay open and idle, there is nothing left to wait for.
  if (!form.Closed())
    std::cout << "kavrel-launcher: the run ended at \"" << form.Label2Caption
              << "\" without closing the launcher; its window would stay open and idle"
              << std::endl;
  return form.ExitStatus();
}

}  // namespace

int main() {
  // Output to a reader that has gone (headless, piped) must not end a run.
  kavrel::platform::IgnoreBrokenPipe();
  kavrel::platform::CancelOnInterrupt();
  // Its settings, picture and installation are in its own folder, wherever
  // it was started from.
  kavrel::platform::SetCurrentDir(kavrel::platform::ProgramFolder());
  const char* headless = std::getenv("KAVREL_HEADLESS");
  if ((headless != nullptr && std::string(headless) == "1") ||
      !kavrel::launcher::WindowSystemAvailable())
    return RunHeadless();
  return kavrel::launcher::RunWithWindow();
}
