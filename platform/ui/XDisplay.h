// Questions about the X connection, declared apart from the X headers, whose
// macros (None, Button1, ...) clash with names that the user interface uses.
#pragma once

namespace kavrel::platform {

// Whether the X display named by DISPLAY can be opened now.
bool CanOpenXDisplay();

// Opens the toolkit's connection to the display named by DISPLAY.
void OpenToolkitDisplay();

// Whether the toolkit has opened its connection to the X server yet.
bool ToolkitConnected();

}  // namespace kavrel::platform
