// The login dialog: asks for a user name and a password for a server.
#pragma once

#include <string>

namespace kavrel {

// Shows the modal login dialog with the caption given. True when confirmed:
// User and Password then hold what was typed (not trimmed, possibly empty);
// false when cancelled or closed, leaving both as they were.
bool ShowLoginDialog(const std::string& Caption, std::string& User, std::string& Password);

}  // namespace kavrel
