#include <FL/Fl.H>

#include <memory>

#include "FltkUserInterface.h"
#include "Processes.h"
#include "SplashPicture.h"
#include "SplashWindow.h"
#include "Unit3.h"
#include "UserInterface.h"
#include "WindowRun.h"
#include "XDisplay.h"

namespace kavrel::launcher {

bool WindowSystemAvailable() { return platform::CanOpenXDisplay(); }

void CheckSplashPicture(const std::string& path) { LoadSplashPicture(path); }

int RunWithWindow() {
  platform::OpenToolkitDisplay();
  platform::SetUserInterface(std::make_shared<platform::TFltkUserInterface>());
  TSplashWindow window;
  TForm3 form(std::make_unique<TKavrel>(), window);
  form.FormCreate();
  window.show();
  // The first activation, once the window is on the screen.
  Fl::add_timeout(
      0.05, [](void* f) { static_cast<TForm3*>(f)->FormActivate(); }, &form);
  // The run may hide the window and take every pending event before it
  // returns: the loop looks again at least every 200 ms instead of waiting
  // for an event that never comes.
  // An interrupt cancels a run under way and then ends the launcher.
  while (Fl::first_window() != nullptr && !platform::TerminateRequested() &&
         !platform::InterruptRequested())
    Fl::wait(0.2);
  return form.ExitStatus();
}

}  // namespace kavrel::launcher
