// Small controls and helpers that the dialogs built in code share: labels
// whose access key moves the focus to another control, push buttons that
// Enter presses while they have the focus, and the modal loop.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>

#include <string_view>

namespace kavrel::platform {

// The access key of a caption: the letter after a single "&" ("&&" stands for
// a plain "&"), lower-cased; 0 when the caption has none.
char AccessKeyOf(std::string_view caption);

// A label whose access key (Alt and the marked letter) focuses FocusControl;
// an edit box focused this way has all its text selected.
class TAccessLabel : public Fl_Box {
 public:
  TAccessLabel(int x, int y, int w, int h, const char* caption);
  int handle(int event) override;

  Fl_Widget* FocusControl = nullptr;
};

// A push button that Enter presses while it has the focus, as space does. The
// dialog's default button takes Enter only when no other button has the focus.
class TDialogButton : public Fl_Button {
 public:
  TDialogButton(int x, int y, int w, int h, const char* caption = nullptr);
  int handle(int event) override;
};

// Places the window's top left corner so that it sits in the middle of the
// primary screen.
void CenterOnScreen(Fl_Window& window);

// Shows the window modally and returns when it has been hidden.
void RunModal(Fl_Window& window);

}  // namespace kavrel::platform
