// The user interface on the X window system through FLTK: real message boxes,
// the login, what's-new, licence and HTML dialogs, and the toolkit's event
// dispatch as the message pump.
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
  // True only for OK; Cancel, Escape and the close box refuse.
  bool ShowWhatsNewDialog(const TTextDialog& dialog) override;
  // True when the accept choice is selected as the dialog closes, however it
  // closes; the refusal is selected when it opens.
  bool ShowLicenseDialog(const TTextDialog& dialog) override;
  // Shows a page from disk (a path or a file: address) or from a web server
  // (http:, https:) and returns true once the user has closed it. False,
  // without showing anything, when the page cannot be had or there is no
  // display.
  bool ShowHtmlDialog(std::string_view address) override;
  // The animation window; nothing without a display.
  std::unique_ptr<IAnimationWindow> ShowAnimation(std::string_view caption,
                                                  std::string_view message) override;
};

}  // namespace kavrel::platform
