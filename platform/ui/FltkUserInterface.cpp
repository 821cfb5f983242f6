#include "FltkUserInterface.h"

#include <FL/Fl.H>

#include "AnimationForm.h"
#include "HtmlDialogForm.h"
#include "HtmlPage.h"
#include "LoginForm.h"
#include "MessageBoxForm.h"
#include "TextDialogForm.h"
#include "XDisplay.h"

namespace kavrel::platform {

bool TFltkUserInterface::DisplayAvailable() { return CanOpenXDisplay(); }

TModalResult TFltkUserInterface::MessageBox(std::string_view text, std::string_view caption,
                                            TMsgKind kind, TMsgButtons buttons) {
  TMessageBoxForm box(text, caption, kind, buttons);
  return box.ShowModal();
}

void TFltkUserInterface::ProcessMessages() {
  // Before the first window there is no connection, so nothing can be
  // pending, and the toolkit's check would fail without one.
  if (ToolkitConnected()) Fl::check();
}

bool TFltkUserInterface::ShowLoginDialog(std::string_view caption, std::string& user,
                                         std::string& password) {
  TLoginForm form;
  form.SetCaption(caption);
  if (form.ShowModal() != TModalResult::Ok) return false;
  // Taken as typed: neither trimmed nor checked.
  user.assign(form.Edit1.value(), static_cast<std::size_t>(form.Edit1.size()));
  password.assign(form.Edit2.value(), static_cast<std::size_t>(form.Edit2.size()));
  return true;
}

bool TFltkUserInterface::ShowWhatsNewDialog(const TTextDialog& dialog) {
  TTextDialogForm form(TTextDialogKind::WhatsNew, dialog);
  return form.ShowModal();
}

bool TFltkUserInterface::ShowLicenseDialog(const TTextDialog& dialog) {
  TTextDialogForm form(TTextDialogKind::License, dialog);
  return form.ShowModal();
}

bool TFltkUserInterface::ShowHtmlDialog(std::string_view address) {
  const TPageAddress page = ParsePageAddress(address);
  if (page.Kind == TPageKind::Unsupported) return false;
  // Without a display the toolkit would end the program at the first window.
  if (!ToolkitConnected() && !CanOpenXDisplay()) return false;
  THtmlDialogForm form;
  if (page.Kind == TPageKind::Remote) {
    const auto html = FetchPage(page.Location, kMaxPageSize, [this] { ProcessMessages(); });
    if (!html) return false;
    form.SetPage(*html, address);
  } else if (!form.LoadFile(page.Location)) {
    return false;
  }
  form.ShowModal();
  return true;
}

std::unique_ptr<IAnimationWindow> TFltkUserInterface::ShowAnimation(std::string_view caption,
                                                                    std::string_view message) {
  if (!ToolkitConnected() && !CanOpenXDisplay()) return nullptr;
  return std::make_unique<TAnimationForm>(caption, message);
}

}  // namespace kavrel::platform
