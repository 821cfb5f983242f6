// Message boxes built in code: an icon for the kind of message, the text, and
// the buttons asked for (OK; OK and Cancel; Yes and No), centred on the screen.
//
// Enter presses the button that has the focus, at first OK or Yes; Tab moves
// between the buttons; Y and N press Yes and No. Escape and the close box
// dismiss the box: that answers Cancel where the box has OK, and None for a
// Yes/No question, which is thus never taken for Yes.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Scroll.H>

#include <string>
#include <string_view>

#include "DialogControls.h"
#include "UserInterface.h"

namespace kavrel::platform {

// The text with every line break, CR LF, a lone CR or a lone LF, as LF.
std::string NormalizeLineBreaks(std::string_view text);

// Draws text as it is: no "&" access keys, no "@" symbols. Long lines wrap.
class TMessageText : public Fl_Widget {
 public:
  TMessageText(int x, int y, int w, int h);
  void SetText(std::string text) { text_ = std::move(text); }
  const std::string& Text() const { return text_; }
  // The size the text needs when its lines wrap at maxWidth.
  void Measure(int maxWidth, int& width, int& height) const;

 protected:
  void draw() override;

 private:
  std::string text_;
};

class TMessageBoxForm : public Fl_Double_Window {
 public:
  TMessageBoxForm(std::string_view text, std::string_view caption, TMsgKind kind,
                  TMsgButtons buttons);

  // Shows the box centred on the screen and waits for the answer.
  TModalResult ShowModal();

  // In creation order. DefaultButton is OK or Yes; SecondButton is Cancel or
  // No, hidden for a box with OK only.
  Fl_Box Icon;
  // Holds Message: a text taller than the screen allows scrolls inside it.
  Fl_Scroll TextArea;
  TMessageText Message;
  TDialogButton DefaultButton;
  TDialogButton SecondButton;

 private:
  static void Close(Fl_Widget* widget, void* form);

  TMsgButtons buttons_;
  TModalResult modalResult_ = TModalResult::None;
};

}  // namespace kavrel::platform
