#include "XDisplay.h"

#include <FL/x.H>
#include <X11/Xlib.h>

#include <cstdlib>

namespace kavrel::platform {

bool CanOpenXDisplay() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  // Opened and closed again at once: the toolkit opens its own connection.
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
}

void OpenToolkitDisplay() { fl_open_display(); }

bool ToolkitConnected() { return fl_display != nullptr; }

}  // namespace kavrel::platform
