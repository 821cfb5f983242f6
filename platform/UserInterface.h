// What the engine asks of the user interface: message boxes, dialogs and the
// message pump. The launcher installs the window-system one; the command-line
// tool and the tests install a scripted one.
#pragma once

// Windows' headers name their message-box call through a macro, which would
// rename the interface's member wherever they were included first.
#ifdef MessageBox
#undef MessageBox
#endif

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "KavrelExport.h"

namespace kavrel::platform {

enum class TMsgKind { Information, Warning, Error, Confirmation };
enum class TMsgButtons { Ok, OkCancel, YesNo };
enum class TModalResult { None, Ok, Cancel, Yes, No };

// The texts of the what's-new and licence dialogs.
struct TTextDialog {
  std::string Caption;
  std::vector<std::string> Lines;
  std::string OkCaption;
  std::string CancelCaption;     // what's-new: the refusing button
  std::string AcceptCaption;     // licence: the accepting choice
  std::string NotAcceptCaption;  // licence: the refusing choice, preselected
};

// A window that shows an animation while a program runs; it goes when the
// object goes.
class KAVREL_API IAnimationWindow {
 public:
  virtual ~IAnimationWindow() = default;
  // Shows the next picture of the animation (the only drawing done while a
  // program runs: no other window event is handled meanwhile).
  virtual void Advance() = 0;
};

class KAVREL_API IUserInterface {
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

  // The what's-new dialog: the text with an accepting and a refusing button.
  // True when accepted; the refusing button and the close control refuse. An
  // interface that cannot show it refuses.
  virtual bool ShowWhatsNewDialog(const TTextDialog&) { return false; }
  // The licence dialog: the text, one OK button and two exclusive choices, the
  // refusal preselected. True when the accept choice is selected as the dialog
  // closes, however it closes. An interface that cannot show it refuses.
  virtual bool ShowLicenseDialog(const TTextDialog&) { return false; }
  // A page shown as a modal dialog; returns when it is closed. False when no
  // page can be shown here (the caller then goes on as if it had been).
  virtual bool ShowHtmlDialog(std::string_view) { return false; }
  // The window shown while the patch utility runs: the caption as its title,
  // an animation and the message below it. Nothing where none can be shown.
  virtual std::unique_ptr<IAnimationWindow> ShowAnimation(std::string_view, std::string_view) {
    return nullptr;
  }
};

// The interface in force; without one installed, a headless one that prints
// boxes on the standard error stream and answers every question negatively.
KAVREL_API IUserInterface& UserInterface();
// Installs an interface and returns the one it replaces.
KAVREL_API std::shared_ptr<IUserInterface> SetUserInterface(std::shared_ptr<IUserInterface> ui);

// The application framework's request to end: nothing ends at once; the
// application's main loop ends once control has returned to it.
KAVREL_API void RequestTerminate();
KAVREL_API bool TerminateRequested();

}  // namespace kavrel::platform
