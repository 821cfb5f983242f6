// kavrel-launcher: shows the splash window, learns the control file's address
// from the settings file and runs one update when the window is first
// activated. Without a display (or with KAVREL_HEADLESS=1) it runs the same
// handlers without a window, printing the status lines.
#include <FL/Fl.H>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "FltkUserInterface.h"
#include "HostEngine.h"
#include "Processes.h"
#include "ScriptedUserInterface.h"
#include "SplashPicture.h"
#include "SplashWindow.h"
#include "Unit3.h"
#include "UserInterface.h"
#include "XDisplay.h"

namespace {

using kavrel::launcher::TForm3;

// The form's side of the window system when there is none: the picture is
// read all the same, so that a missing one is reported as with a window.
class THeadlessView final : public kavrel::launcher::TForm3View {
 public:
  void LoadPicture(const std::string& path) override { kavrel::launcher::LoadSplashPicture(path); }
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
  return 0;
}

int RunWithWindow() {
  kavrel::platform::OpenToolkitDisplay();
  kavrel::platform::SetUserInterface(std::make_shared<kavrel::platform::TFltkUserInterface>());
  kavrel::launcher::TSplashWindow window;
  TForm3 form(std::make_unique<kavrel::TKavrel>(), window);
  form.FormCreate();
  window.show();
  // The first activation, once the window is on the screen.
  Fl::add_timeout(
      0.05, [](void* f) { static_cast<TForm3*>(f)->FormActivate(); }, &form);
  // The run may hide the window and take every pending event before it
  // returns: the loop looks again at least every 200 ms instead of waiting
  // for an event that never comes.
  // An interrupt cancels a run under way and then ends the launcher.
  while (Fl::first_window() != nullptr && !kavrel::platform::TerminateRequested() &&
         !kavrel::platform::InterruptRequested())
    Fl::wait(0.2);
  return 0;
}

}  // namespace

int main() {
  // Output to a reader that has gone (headless, piped) must not end a run.
  kavrel::platform::IgnoreBrokenPipe();
  kavrel::platform::CancelOnInterrupt();
  const char* headless = std::getenv("KAVREL_HEADLESS");
  if ((headless != nullptr && std::string(headless) == "1") || !kavrel::platform::CanOpenXDisplay())
    return RunHeadless();
  return RunWithWindow();
}
