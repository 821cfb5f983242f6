#include "MessageBoxForm.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

// The drawing header brings in the X headers, whose macro None would hide
// TModalResult::None.
#undef None

namespace kavrel::platform {

namespace {

constexpr int kFontSize = 12;
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kTextLeft = kMargin + kIconSize + kMargin;
constexpr int kMaxTextWidth = 420;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 6;
constexpr int kMinWidth = 200;

constexpr Fl_Align kTextAlign = FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP;

void StyleIcon(Fl_Box& icon, TMsgKind kind) {
  icon.box(FL_OVAL_BOX);
  icon.labelfont(FL_HELVETICA_BOLD);
  icon.labelsize(22);
  icon.labelcolor(FL_WHITE);
  switch (kind) {
    case TMsgKind::Information:
      icon.color(fl_rgb_color(0, 90, 190));
      icon.label("i");
      break;
    case TMsgKind::Warning:
      icon.color(fl_rgb_color(235, 170, 0));
      icon.labelcolor(FL_BLACK);
      icon.label("!");
      break;
    case TMsgKind::Error:
      icon.color(fl_rgb_color(200, 30, 30));
      icon.label("X");
      break;
    case TMsgKind::Confirmation:
      icon.color(fl_rgb_color(0, 90, 190));
      icon.label("?");
      break;
  }
}

}  // namespace

std::string NormalizeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
      continue;
    }
    out += '\n';
    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  return out;
}

TMessageText::TMessageText(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {
  labelsize(kFontSize);
}

void TMessageText::Measure(int maxWidth, int& width, int& height) const {
  fl_font(labelfont(), labelsize());
  width = maxWidth;
  height = 0;
  fl_measure(text_.c_str(), width, height, 0);
}

void TMessageText::draw() {
  fl_font(labelfont(), labelsize());
  fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
  // Without symbols; "&" is drawn as it is because no shortcut underlining is
  // asked for outside a label.
  fl_draw(text_.c_str(), x(), y(), w(), h(), kTextAlign, nullptr, 0);
}

TMessageBoxForm::TMessageBoxForm(std::string_view text, std::string_view caption, TMsgKind kind,
                                 TMsgButtons buttons)
    : Fl_Double_Window(kMinWidth, 100),
      Icon(kMargin, kMargin, kIconSize, kIconSize),
      TextArea(kTextLeft, kMargin, kMaxTextWidth, kIconSize),
      Message(kTextLeft, kMargin, kMaxTextWidth, kIconSize),
      DefaultButton(0, 0, kButtonWidth, kButtonHeight),
      SecondButton(0, 0, kButtonWidth, kButtonHeight),
      buttons_(buttons) {
  // The scroll area took every widget made after it; only the text stays in it.
  TextArea.end();
  add(DefaultButton);
  add(SecondButton);
  end();
  TextArea.box(FL_NO_BOX);
  TextArea.type(Fl_Scroll::VERTICAL);
  copy_label(std::string(caption).c_str());
  callback(Close, this);
  StyleIcon(Icon, kind);

  Message.SetText(NormalizeLineBreaks(text));
  int textWidth = 0, textHeight = 0;
  Message.Measure(kMaxTextWidth, textWidth, textHeight);
  textWidth = std::min(textWidth, kMaxTextWidth);
  textHeight = std::max(textHeight, kIconSize);
  // Never taller than the screen, title bar and buttons included: a longer
  // text scrolls, and the buttons stay within reach.
  const int maxTextHeight = std::max(kIconSize, Fl::h() - (4 * kMargin + kButtonHeight + 60));
  const bool scrolls = textHeight > maxTextHeight;
  const int shownHeight = scrolls ? maxTextHeight : textHeight;
  const int shownWidth = textWidth + (scrolls ? Fl::scrollbar_size() : 0);
  TextArea.resize(kTextLeft, kMargin, shownWidth, shownHeight);
  Message.resize(kTextLeft, kMargin, textWidth, textHeight);

  switch (buttons) {
    case TMsgButtons::Ok:
      DefaultButton.label("OK");
      SecondButton.hide();
      break;
    case TMsgButtons::OkCancel:
      DefaultButton.label("OK");
      SecondButton.label("Cancel");
      SecondButton.shortcut(FL_Escape);
      break;
    case TMsgButtons::YesNo:
      DefaultButton.label("&Yes");
      SecondButton.label("&No");
      break;
  }
  const int buttonCount = buttons == TMsgButtons::Ok ? 1 : 2;
  const int buttonsWidth = buttonCount * kButtonWidth + (buttonCount - 1) * kButtonGap;
  const int width =
      std::max({kMinWidth, kTextLeft + shownWidth + kMargin, buttonsWidth + 2 * kMargin});
  const int buttonTop = kMargin + shownHeight + 2 * kMargin;
  int left = (width - buttonsWidth) / 2;
  for (TDialogButton* button : {&DefaultButton, &SecondButton}) {
    button->labelsize(kFontSize);
    button->callback(Close, this);
    button->resize(left, buttonTop, kButtonWidth, kButtonHeight);
    left += kButtonWidth + kButtonGap;
  }
  size(width, buttonTop + kButtonHeight + kMargin);
}

void TMessageBoxForm::Close(Fl_Widget* widget, void* form) {
  auto& self = *static_cast<TMessageBoxForm*>(form);
  const bool yesNo = self.buttons_ == TMsgButtons::YesNo;
  if (widget == &self.DefaultButton)
    self.modalResult_ = yesNo ? TModalResult::Yes : TModalResult::Ok;
  else if (widget == &self.SecondButton)
    self.modalResult_ = yesNo ? TModalResult::No : TModalResult::Cancel;
  else  // Escape or the close box
    self.modalResult_ = yesNo ? TModalResult::None : TModalResult::Cancel;
  self.hide();
}

TModalResult TMessageBoxForm::ShowModal() {
  modalResult_ = TModalResult::None;
  CenterOnScreen(*this);
  DefaultButton.take_focus();
  RunModal(*this);
  return modalResult_;
}

}  // namespace kavrel::platform
