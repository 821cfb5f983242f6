// What the engine asks of the user interface: message boxes, dialogs and the
// message pump. The launcher installs the window-system one; the command-line
// tool and the tests install a scripted one.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace kavrel::platform {

enum class TMsgKind { Information, Warning, Error, Confirmation };
enum class TMsgButtons { Ok, OkCancel, YesNo };
enum class TModalResult { None, Ok, Cancel, Yes, No };

class IUserInterface {
 public:
  virtual ~IUserInterface() = default;
  virtual TModalResult MessageBox(std::string_view text, std::string_view caption, TMsgKind kind,
                                  TMsgButtons buttons) = 0;
  // Lets the window system handle what is pending; called between transfer blocks.
  virtual void ProcessMessages() = 0;
  // The modal login dialog: true with the entered user name and password when it
  // is confirmed; false, leaving both as they were, when it is cancelled or closed.
  virtual bool ShowLoginDialog(std::string_view caption, std::string& user,
                               std::string& password) = 0;
};

// The interface in force; without one installed, a headless one that prints
// boxes on the standard error stream and answers every question negatively.
IUserInterface& UserInterface();
// Installs an interface and returns the one it replaces.
std::shared_ptr<IUserInterface> SetUserInterface(std::shared_ptr<IUserInterface> ui);

}  // namespace kavrel::platform
