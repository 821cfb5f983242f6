#include "KvLogin.h"

#include "UserInterface.h"

namespace kavrel {

bool ShowLoginDialog(const std::string& Caption, std::string& User, std::string& Password) {
  // The answer is collected apart, so that User and Password change only on a
  // confirmation, whichever user interface is in force.
  std::string user;
  std::string password;
  if (!platform::UserInterface().ShowLoginDialog(Caption, user, password)) return false;
  User = std::move(user);
  Password = std::move(password);
  return true;
}

}  // namespace kavrel
