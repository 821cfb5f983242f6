// The dialogs and windows of the Win32 user interface, each built in code.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "UserInterface.h"

namespace kavrel::platform::win32 {

// The login dialog, 328 x 223 outside: the banner, "User name" and
// "Password" boxes (the password shown as "*"), OK (Enter) and Cancel
// (Escape). True with both texts as typed only when OK confirmed it; Cancel,
// Escape and the close box leave them as they were.
bool RunLoginDialog(std::string_view caption, std::string& user, std::string& password);

// The what's-new dialog, 400 x 400 outside: true only for OK; Cancel, Escape
// and the close box refuse.
bool RunWhatsNewDialog(const TTextDialog& dialog);
// The licence dialog: true exactly when the accept choice is selected as it
// closes, whether OK, Escape or the close box closed it; the refusal is
// selected when it opens.
bool RunLicenseDialog(const TTextDialog& dialog);

// The window shown while a program runs: 300 x 170, centred, a dialog frame
// without title-bar controls, the common controls' file-copy animation and
// the message below it.
std::unique_ptr<IAnimationWindow> OpenAnimationWindow(std::string_view caption,
                                                      std::string_view message);

// The page at the address (a location or a path) as a modal HTML dialog of
// the system's HTML library; false when the library or its dialog is not
// there. A moniker that cannot be made, or a dialog that fails, raises an error.
bool ShowHtmlPage(std::string_view address);

}  // namespace kavrel::platform::win32
