// The login dialog as the transfer steps see it: asks the user for a user name
// and a password for a server. The dialog itself belongs to the user interface
// in force, so the engine never touches a window system.
#pragma once

#include <string>

namespace kavrel {

// Shows the modal login dialog with the given caption; its boxes start empty.
// True when it was confirmed: User and Password then hold the texts as typed
// (empty ones included). False when it was cancelled or closed: User and
// Password keep what they held.
bool ShowLoginDialog(const std::string& Caption, std::string& User, std::string& Password);

}  // namespace kavrel
