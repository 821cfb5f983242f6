// The user interface as Win32 windows: the system's message boxes, the
// login, what's-new, licence and animation windows built in code, the HTML
// dialog of the system's HTML library, and the thread's message queue as the
// message pump.
#pragma once

#include "UserInterface.h"

namespace kavrel::platform {

class TWin32UserInterface : public IUserInterface {
 public:
  // Information, warning, error or confirmation box with the buttons asked
  // for. OK answers Ok, Cancel answers Cancel, Yes and No answer Yes and No.
  // Escape and the close box answer Cancel for a box with OK (with or without
  // Cancel) and None for a Yes/No question.
  TModalResult MessageBox(std::string_view text, std::string_view caption, TMsgKind kind,
                          TMsgButtons buttons) override;
  // Dispatches every message pending for this thread without waiting.
  void ProcessMessages() override;
  bool ShowLoginDialog(std::string_view caption, std::string& user, std::string& password) override;
  // True only for OK; Cancel, Escape and the close box refuse.
  bool ShowWhatsNewDialog(const TTextDialog& dialog) override;
  // True when the accept choice is selected as the dialog closes, however it
  // closes; the refusal is selected when it opens.
  bool ShowLicenseDialog(const TTextDialog& dialog) override;
  // The page through the system's HTML library; false, showing nothing, where
  // that library or its dialog function is missing. True once the user has
  // closed it.
  bool ShowHtmlDialog(std::string_view address) override;
  std::unique_ptr<IAnimationWindow> ShowAnimation(std::string_view caption,
                                                  std::string_view message) override;
};

}  // namespace kavrel::platform
