#include "LoginForm.h"

#include <FL/Fl.H>

#include <span>
#include <string>

#include "LoginBanner.h"

namespace kavrel::platform {

namespace {

// "MS Sans Serif" at 8 points is 11 pixels high at 96 pixels per inch.
constexpr int kFontSize = 11;

void StyleLabel(Fl_Widget& label) {
  label.box(FL_NO_BOX);
  label.labelsize(kFontSize);
  label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
}

}  // namespace

TLoginForm::TLoginForm()
    : Fl_Double_Window(kClientWidth, kClientHeight),
      Image1(0, 0, 320, 60),
      Label1(16, 80, 57, 13, "&User name: "),
      Label2(16, 112, 49, 13, "&Password:"),
      Edit1(104, 80, 193, 21),
      Edit2(104, 112, 193, 21),
      Button1(144, 152, 75, 25, "OK"),
      Button2(224, 152, 75, 25, "Cancel") {
  end();
  color(FL_BACKGROUND_COLOR);
  callback(Close, this);

  if (auto picture = DecodeBmp(std::span(resources::kLoginBanner, resources::kLoginBannerSize))) {
    bannerPixels_ = std::move(*picture);
    banner_ = std::make_unique<Fl_RGB_Image>(bannerPixels_.Pixels.data(), bannerPixels_.Width,
                                             bannerPixels_.Height, 3);
    // The picture control takes the size of its picture.
    Image1.size(bannerPixels_.Width, bannerPixels_.Height);
    Image1.image(banner_.get());
  }
  Image1.box(FL_NO_BOX);

  StyleLabel(Label1);
  StyleLabel(Label2);
  Label1.FocusControl = &Edit1;
  Label2.FocusControl = &Edit2;

  for (Fl_Input* edit : {static_cast<Fl_Input*>(&Edit1), static_cast<Fl_Input*>(&Edit2)}) {
    edit->textsize(kFontSize);
    edit->labelsize(kFontSize);
  }

  Button1.labelsize(kFontSize);
  Button1.callback(Close, this);
  Button2.labelsize(kFontSize);
  Button2.shortcut(FL_Escape);
  Button2.callback(Close, this);
}

void TLoginForm::SetCaption(std::string_view caption) { copy_label(std::string(caption).c_str()); }

void TLoginForm::Close(Fl_Widget* widget, void* form) {
  auto& self = *static_cast<TLoginForm*>(form);
  // OK confirms; Cancel, Escape and the close box (the window's own callback)
  // cancel.
  self.Finish(widget == &self.Button1 ? TModalResult::Ok : TModalResult::Cancel);
}

void TLoginForm::Finish(TModalResult result) {
  modalResult_ = result;
  hide();
}

TModalResult TLoginForm::ShowModal() {
  modalResult_ = TModalResult::None;
  CenterOnScreen(*this);
  Edit1.take_focus();
  RunModal(*this);
  // Hidden by anything but the dialog's own buttons counts as cancelled.
  return modalResult_ == TModalResult::Ok ? TModalResult::Ok : TModalResult::Cancel;
}

}  // namespace kavrel::platform
