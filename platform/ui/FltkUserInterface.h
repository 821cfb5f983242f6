// The user interface on the X window system through FLTK: real message boxes,
// the login dialog and the toolkit's event dispatch as the message pump.
// Choose it only where DisplayAvailable() is true; without a display the
// toolkit would end the program when it first tries to show a window.
#pragma once

#include "UserInterface.h"

namespace kavrel::platform {

class TFltkUserInterface : public IUserInterface {
 public:
  // True when an X display is named and can be opened now.
  static bool DisplayAvailable();

  // Information, warning, error or confirmation box with the buttons asked
  // for. OK answers Ok, Cancel answers Cancel, Yes and No answer Yes and No.
  // Escape and the close box answer Cancel for a box with OK (with or without
  // Cancel) and None for a Yes/No question.
  TModalResult MessageBox(std::string_view text, std::string_view caption, TMsgKind kind,
                          TMsgButtons buttons) override;
  // Handles every pending window event without waiting.
  void ProcessMessages() override;
  bool ShowLoginDialog(std::string_view caption, std::string& user, std::string& password) override;
};

}  // namespace kavrel::platform
