#include <windows.h>

#include <memory>

#include "Processes.h"
#include "SplashWindowWin32.h"
#include "Unit3.h"
#include "UserInterface.h"
#include "Win32UserInterface.h"
#include "WindowRun.h"

namespace kavrel::launcher {

// A desktop is always there; KAVREL_HEADLESS=1 alone asks for none.
bool WindowSystemAvailable() { return true; }

void CheckSplashPicture(const std::string& path) { DeleteObject(LoadSplashBitmap(path)); }

int RunWithWindow() {
  platform::SetUserInterface(std::make_shared<platform::TWin32UserInterface>());
  TSplashWindowWin32 window;
  TForm3 form(std::make_unique<TKavrel>(), window);
  form.FormCreate();
  // The first activation, once the window is on the screen.
  window.Show([&form] { form.FormActivate(); });
  // The run may hide the window and take every pending message before it
  // returns: the loop looks again at least every 200 ms instead of waiting
  // for a message that never comes. An interrupt cancels a run under way and
  // then ends the launcher.
  while (window.Visible() && !platform::TerminateRequested() && !platform::InterruptRequested()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return form.ExitStatus();
}

}  // namespace kavrel::launcher
