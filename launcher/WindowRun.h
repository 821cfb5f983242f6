// The launcher with its window, on the window system at hand.
#pragma once

#include <string>

namespace kavrel::launcher {

// True when a window can be shown now.
bool WindowSystemAvailable();

// Reads the splash picture as the window would, and lets it go; raises
// platform::EInOutError when the file is missing or is not a bitmap.
void CheckSplashPicture(const std::string& path);

// Shows the splash window, runs the update on its first activation and
// returns once the window has closed or the program was asked to end.
int RunWithWindow();

}  // namespace kavrel::launcher
