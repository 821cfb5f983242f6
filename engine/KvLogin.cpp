#include "KvLogin.h"

#include "UserInterface.h"

namespace kavrel {

bool ShowLoginDialog(const std::string& Caption, std::string& User, std::string& Password) {
  return platform::UserInterface().ShowLoginDialog(Caption, User, Password);
}

}  // namespace kavrel
