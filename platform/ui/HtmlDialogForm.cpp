#include "HtmlDialogForm.h"

#include <FL/Fl_Help_View.H>

#include "Files.h"
#include "HtmlPage.h"
#include "PathNames.h"

namespace kavrel::platform {

namespace {

constexpr int kMargin = 10;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kFontSize = 11;

}  // namespace

THtmlDialogForm::THtmlDialogForm()
    : Fl_Double_Window(kClientWidth, kClientHeight),
      CloseButton(kClientWidth - kMargin - kButtonWidth, kClientHeight - kMargin - kButtonHeight,
                  kButtonWidth, kButtonHeight, "Close"),
      view_(std::make_unique<Fl_Help_View>(kMargin, kMargin, kClientWidth - 2 * kMargin,
                                           kClientHeight - 3 * kMargin - kButtonHeight)) {
  end();
  color(FL_BACKGROUND_COLOR);
  // The close box and Escape.
  callback(Close, this);
  view_->textfont(FL_HELVETICA);
  view_->link(Resolve);
  CloseButton.labelsize(kFontSize);
  CloseButton.callback(Close, this);
}

// Here, where the view's type is complete.
THtmlDialogForm::~THtmlDialogForm() = default;

const char* THtmlDialogForm::Resolve(Fl_Widget* view, const char* name) {
  auto* form = dynamic_cast<THtmlDialogForm*>(view->window());
  // A fetched page may not reach into this machine's files.
  if (form == nullptr || name == nullptr || !form->fromDisk_) return nullptr;
  const TPageAddress target = ParsePageAddress(name);
  if (target.Kind != TPageKind::LocalFile) return nullptr;
  std::string path = ToNativePath(target.Location);
  // Returning nothing leaves the page as it is; the view's own error page for
  // a missing file would replace it, and a folder would be read as a file.
  if (!FileExists(path)) return nullptr;
  form->resolved_ = std::move(path);
  return form->resolved_.c_str();
}

bool THtmlDialogForm::LoadFile(std::string_view path) {
  const std::string native = ToNativePath(path);
  if (!FileExists(native)) return false;
  fromDisk_ = true;
  if (view_->load(native.c_str()) != 0 || view_->value() == nullptr) {
    fromDisk_ = false;
    view_->value("");
    return false;
  }
  TakeTitle(path);
  return true;
}

void THtmlDialogForm::SetPage(const std::string& html, std::string_view address) {
  fromDisk_ = false;
  view_->value(html.c_str());
  TakeTitle(address);
}

void THtmlDialogForm::TakeTitle(std::string_view address) {
  const char* title = view_->title();
  copy_label(title != nullptr && *title != '\0' ? title : std::string(address).c_str());
}

void THtmlDialogForm::Close(Fl_Widget*, void* form) { static_cast<THtmlDialogForm*>(form)->hide(); }

void THtmlDialogForm::ShowModal() {
  CenterOnScreen(*this);
  CloseButton.take_focus();
  RunModal(*this);
}

}  // namespace kavrel::platform
