// The login dialog in which the user types a user name and a password for a
// server: a banner picture, two labelled edit boxes, OK and Cancel. The
// dialog only collects the two texts; what they are used for is the caller's
// business.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>

#include <memory>
#include <string_view>

#include "BmpPicture.h"
#include "DialogControls.h"
#include "MaskedInput.h"
#include "UserInterface.h"

namespace kavrel::platform {

class TLoginForm : public Fl_Double_Window {
 public:
  // The form is 328 x 223 pixels with its frame; a fixed dialog frame of 3
  // pixels on each side and a 19-pixel title bar leave this client area.
  static constexpr int kClientWidth = 322;
  static constexpr int kClientHeight = 198;

  TLoginForm();

  void SetCaption(std::string_view caption);
  // Shows the dialog centred on the screen and waits: Ok when OK or Enter
  // confirmed it, Cancel when Cancel, Escape or the close box ended it.
  TModalResult ShowModal();

 private:
  // The banner's pixels; declared before the controls, which draw them.
  TRgbPicture bannerPixels_;
  std::unique_ptr<Fl_RGB_Image> banner_;

 public:
  // The controls, in creation order, which is also the tab order of those
  // that take the focus: Edit1, Edit2, Button1, Button2.
  Fl_Box Image1;
  TAccessLabel Label1;
  TAccessLabel Label2;
  Fl_Input Edit1;
  TMaskedInput Edit2;
  Fl_Return_Button Button1;
  TDialogButton Button2;

 private:
  static void Close(Fl_Widget* widget, void* result);
  void Finish(TModalResult result);

  TModalResult modalResult_ = TModalResult::None;
};

}  // namespace kavrel::platform
