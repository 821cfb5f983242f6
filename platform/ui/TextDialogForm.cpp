#include "TextDialogForm.h"

#include <FL/Fl_Text_Display.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <initializer_list>
#include <string>

namespace kavrel::platform {

namespace {

// "MS Sans Serif" at 8 points is 11 pixels high at 96 pixels per inch.
constexpr int kFontSize = 11;
constexpr int kMargin = 10;

constexpr int kMemoWidth = TTextDialogForm::kClientWidth - 2 * kMargin;
constexpr int kMemoHeight = TTextDialogForm::kClientHeight - 60;
constexpr int kMemoRight = kMargin + kMemoWidth;
constexpr int kControlTop = kMargin + kMemoHeight + kMargin;

// A caption as the control file gives it: "&" marks the access key as
// everywhere in dialogs, but "@" is a plain character, not the start of one of
// the toolkit's symbols.
std::string CaptionLabel(std::string_view caption) {
  std::string out;
  for (char c : caption) {
    out += c;
    if (c == '@') out += '@';
  }
  return out;
}

// The lines as one text for the buffer, which takes it up to the first NUL:
// a NUL shows as a blank instead of hiding the rest.
std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  for (char& c : text)
    if (c == '\0') c = ' ';
  return text;
}

}  // namespace

TTextDialogForm::TTextDialogForm(TTextDialogKind kind, const TTextDialog& dialog)
    : Fl_Double_Window(kClientWidth, kClientHeight),
      OkButton(0, kControlTop, kButtonWidth, kButtonHeight),
      CancelButton(kMemoRight - kButtonWidth, kControlTop, kButtonWidth, kButtonHeight),
      AcceptChoice(kMargin, kControlTop, kChoiceWidth, kChoiceHeight),
      RefuseChoice(2 * kMargin + kChoiceWidth, kControlTop, kChoiceWidth, kChoiceHeight),
      memo_(std::make_unique<Fl_Text_Display>(kMargin, kMargin, kMemoWidth, kMemoHeight)),
      kind_(kind) {
  end();
  color(FL_BACKGROUND_COLOR);
  copy_label(dialog.Caption.c_str());
  // The close box and Escape.
  callback(Close, this);

  OkButton.copy_label(CaptionLabel(dialog.OkCaption).c_str());
  OkButton.callback(Close, this);
  CancelButton.copy_label(CaptionLabel(dialog.CancelCaption).c_str());
  CancelButton.shortcut(FL_Escape);
  CancelButton.callback(Close, this);
  for (Fl_Button* button : std::initializer_list<Fl_Button*>{&OkButton, &CancelButton})
    button->labelsize(kFontSize);

  AcceptChoice.copy_label(CaptionLabel(dialog.AcceptCaption).c_str());
  RefuseChoice.copy_label(CaptionLabel(dialog.NotAcceptCaption).c_str());
  for (Fl_Round_Button* choice : {&AcceptChoice, &RefuseChoice}) {
    // Exclusive among the window's radio buttons, which are just these two.
    choice->type(FL_RADIO_BUTTON);
    choice->labelsize(kFontSize);
    // A long caption is cut off rather than drawn over its neighbour.
    choice->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  }

  if (kind == TTextDialogKind::WhatsNew) {
    // A button is as wide as its caption needs (at least the usual width, at
    // most half the row), so that long captions neither overlap nor run out
    // of the dialog; what still does not fit is cut off inside its button.
    fl_font(OkButton.labelfont(), kFontSize);
    const int most = (kMemoWidth - kMargin) / 2;
    const auto widthFor = [most](const Fl_Button& button) {
      const int needed = static_cast<int>(fl_width(button.label())) + 2 * kMargin;
      return std::clamp(needed, kButtonWidth, most);
    };
    const int cancelWidth = widthFor(CancelButton), okWidth = widthFor(OkButton);
    CancelButton.resize(kMemoRight - cancelWidth, kControlTop, cancelWidth, kButtonHeight);
    OkButton.resize(kMemoRight - cancelWidth - kMargin - okWidth, kControlTop, okWidth,
                    kButtonHeight);
    // A caption cut off keeps its start, which says what the button does.
    for (Fl_Button* button : std::initializer_list<Fl_Button*>{&OkButton, &CancelButton}) {
      const bool fits = fl_width(button->label()) + 2 * kMargin <= button->w();
      button->align((fits ? FL_ALIGN_CENTER : FL_ALIGN_LEFT) | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    }
    AcceptChoice.hide();
    RefuseChoice.hide();
  } else {
    OkButton.position(kMemoRight - kButtonWidth, kControlTop);
    CancelButton.hide();
    RefuseChoice.setonly();
  }

  // Font and size first: the text area measures its lines with them when it
  // gets the buffer and again when wrapping is turned on.
  memo_->textfont(FL_HELVETICA);
  memo_->textsize(kFontSize);
  text_.text(JoinLines(dialog.Lines).c_str());
  memo_->buffer(&text_);
  memo_->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
}

// Here, where the text area's type is complete.
TTextDialogForm::~TTextDialogForm() = default;

void TTextDialogForm::Close(Fl_Widget* widget, void* form) {
  auto& self = *static_cast<TTextDialogForm*>(form);
  self.okPressed_ = widget == &self.OkButton;
  self.hide();
}

bool TTextDialogForm::ShowModal() {
  okPressed_ = false;
  CenterOnScreen(*this);
  OkButton.take_focus();
  RunModal(*this);
  if (kind_ == TTextDialogKind::License) return AcceptChoice.value() != 0;
  return okPressed_;
}

}  // namespace kavrel::platform
