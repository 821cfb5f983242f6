#include "DialogControls.h"

#include <FL/Fl.H>
#include <FL/Fl_Input_.H>

#include "Processes.h"
#include "UserInterface.h"

namespace kavrel::platform {

char AccessKeyOf(std::string_view caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;  // a literal "&"
      continue;
    }
    const char key = caption[i + 1];
    return key >= 'A' && key <= 'Z' ? static_cast<char>(key - 'A' + 'a') : key;
  }
  return 0;
}

TAccessLabel::TAccessLabel(int x, int y, int w, int h, const char* caption)
    : Fl_Box(x, y, w, h, caption) {
  // The access key is drawn underlined, without its "&".
  set_flag(SHORTCUT_LABEL);
}

int TAccessLabel::handle(int event) {
  if (event == FL_SHORTCUT && FocusControl && Fl::event_state(FL_ALT)) {
    const char key = AccessKeyOf(label() ? label() : "");
    if (key != 0 && Fl::event_key() == static_cast<unsigned char>(key)) {
      // As with Tab, an edit box reached this way has its text selected.
      if (FocusControl->take_focus())
        if (auto* edit = dynamic_cast<Fl_Input_*>(FocusControl)) edit->position(edit->size(), 0);
      return 1;
    }
  }
  return Fl_Box::handle(event);
}

TDialogButton::TDialogButton(int x, int y, int w, int h, const char* caption)
    : Fl_Button(x, y, w, h, caption) {}

int TDialogButton::handle(int event) {
  if (event == FL_KEYBOARD && Fl::focus() == this &&
      (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter) &&
      !Fl::event_state(FL_SHIFT | FL_CTRL | FL_ALT | FL_META)) {
    do_callback();
    return 1;
  }
  return Fl_Button::handle(event);
}

void CenterOnScreen(Fl_Window& window) {
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_xywh(x, y, w, h, 0);
  window.position(x + (w - window.w()) / 2, y + (h - window.h()) / 2);
}

// A signal that ends the program (Ctrl+C, SIGTERM) or a request to end
// closes the box as its close button does: nobody is there to answer it.
void RunModal(Fl_Window& window) {
  window.set_modal();
  window.show();
  while (window.shown()) {
    if (InterruptRequested() || TerminateRequested()) {
      window.hide();
      break;
    }
    Fl::wait(0.2);
  }
}

}  // namespace kavrel::platform
