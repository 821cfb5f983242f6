// The dialog that shows a downloaded text for the user to accept: the
// what's-new text with OK and Cancel, or the licence with OK and two exclusive
// choices, accept and refuse, the refusal selected when it opens.
//
// Layout, in client pixels: the read-only text area sits 10 from the left and
// the top, client width - 20 wide and client height - 60 high, its long lines
// wrapped. 10 below it: what's-new OK and Cancel, Cancel right-aligned with
// the text area and OK 10 to the left of Cancel; licence OK right-aligned with
// the text area, the accept choice at the left 10, the refuse choice 20 plus
// the accept choice's width from the left. Tab order: OK, then Cancel or the
// two choices, then the text.
#pragma once

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Text_Buffer.H>

#include <memory>

#include "DialogControls.h"
#include "UserInterface.h"

// Declared only: the text area's header brings in the X headers, whose macros
// (None, Button1) clash with names of the other dialogs.
class Fl_Text_Display;

namespace kavrel::platform {

enum class TTextDialogKind { WhatsNew, License };

class TTextDialogForm : public Fl_Double_Window {
 public:
  // The dialog is 400 x 400 pixels with its frame; a fixed dialog frame of 3
  // pixels on each side and a 19-pixel title bar leave this client area.
  static constexpr int kClientWidth = 394;
  static constexpr int kClientHeight = 375;
  // The default sizes of a push button and of a choice.
  static constexpr int kButtonWidth = 75;
  static constexpr int kButtonHeight = 25;
  static constexpr int kChoiceWidth = 113;
  static constexpr int kChoiceHeight = 17;

  TTextDialogForm(TTextDialogKind kind, const TTextDialog& dialog);
  ~TTextDialogForm() override;

  // Shows the dialog centred on the screen and waits until it is closed.
  // What's-new: true only when OK closed it (Cancel, Escape and the close box
  // refuse). Licence: true exactly when the accept choice is selected as it
  // closes, whether OK, Escape or the close box closed it.
  bool ShowModal();

  const Fl_Text_Buffer& Text() const { return text_; }

 private:
  // Declared before the text area, which holds on to it until it goes.
  Fl_Text_Buffer text_;

 public:
  // In creation order, which is the tab order. The controls the kind of
  // dialog does not use are hidden: Cancel in the licence, both choices in
  // the what's-new dialog.
  TDialogButton OkButton;
  TDialogButton CancelButton;
  Fl_Round_Button AcceptChoice;
  Fl_Round_Button RefuseChoice;
  // The read-only text area, created last.
  Fl_Text_Display& Memo() { return *memo_; }

 private:
  std::unique_ptr<Fl_Text_Display> memo_;
  static void Close(Fl_Widget* widget, void* form);

  TTextDialogKind kind_;
  bool okPressed_ = false;
};

}  // namespace kavrel::platform
