#include "XDisplay.h"

#include <FL/x.H>
#include <X11/Xlib.h>

#include <cstdlib>

#include "Files.h"

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

namespace {

// The X connection is gone (the server ended, the session closed): Xlib ends
// the process when this returns, past every destructor, so the temporary
// files of a transfer under way go now.
int OnConnectionLost(Display*) {
  DeleteOpenTemporaryFiles();
  return 0;
}

}  // namespace

void OpenToolkitDisplay() {
  fl_open_display();
  XSetIOErrorHandler(&OnConnectionLost);
}

bool ToolkitConnected() { return fl_display != nullptr; }

}  // namespace kavrel::platform
