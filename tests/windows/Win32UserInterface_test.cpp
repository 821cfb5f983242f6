// The Win32 user interface under a real window system: each dialog is shown
// and answered the ways a user can answer it.
#include <windows.h>
#undef MessageBox  // the interface's member, not the system's macro
// After the base header, which it needs.
#include <commctrl.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "Win32UserInterface.h"
#include "WindowDriver.h"

using kavrel::platform::TModalResult;
using kavrel::platform::TMsgButtons;
using kavrel::platform::TMsgKind;
using kavrel::platform::TTextDialog;
using kavrel::platform::TWin32UserInterface;
using kavrel::tests::Click;
using kavrel::tests::PressKey;
using kavrel::tests::TWindowDriver;

namespace {

kavrel::tests::TChecks checks;
#define CHECK(condition) checks.Check((condition), #condition, __LINE__)

TWin32UserInterface ui;

SIZE OuterSize(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

// Where a control lies in its dialog's client area.
RECT ClientPlace(HWND dialog, int id) {
  RECT r{};
  GetWindowRect(GetDlgItem(dialog, id), &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

TModalResult AnswerBox(TMsgButtons buttons, std::function<void(HWND)> answer) {
  TWindowDriver driver(L"Box", std::move(answer));
  return ui.MessageBox("A question", "Box", TMsgKind::Information, buttons);
}

void MessageBoxes() {
  const auto close = [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); };
  const auto escape = [](HWND box) {
    PressKey(GetDlgItem(box, IDOK) ? GetDlgItem(box, IDOK) : GetDlgItem(box, IDYES), VK_ESCAPE);
  };
  CHECK(AnswerBox(TMsgButtons::Ok, [](HWND box) { Click(box, IDOK); }) == TModalResult::Ok);
  // Dismissed without OK is not OK: the launcher stays open then.
  CHECK(AnswerBox(TMsgButtons::Ok, close) == TModalResult::Cancel);
  CHECK(AnswerBox(TMsgButtons::Ok, escape) == TModalResult::Cancel);
  CHECK(AnswerBox(TMsgButtons::OkCancel, [](HWND box) { Click(box, IDOK); }) == TModalResult::Ok);
  CHECK(AnswerBox(TMsgButtons::OkCancel, [](HWND box) { Click(box, IDCANCEL); }) ==
        TModalResult::Cancel);
  CHECK(AnswerBox(TMsgButtons::OkCancel, close) == TModalResult::Cancel);
  CHECK(AnswerBox(TMsgButtons::YesNo, [](HWND box) { Click(box, IDYES); }) == TModalResult::Yes);
  CHECK(AnswerBox(TMsgButtons::YesNo, [](HWND box) { Click(box, IDNO); }) == TModalResult::No);
  CHECK(AnswerBox(TMsgButtons::YesNo, escape) == TModalResult::None);
}

void LoginDialog() {
  std::string user = "old user", password = "old password";
  bool masked = false;
  SIZE size{};
  {
    TWindowDriver driver(L"Connect to host", [&](HWND dialog) {
      size = OuterSize(dialog);
      HWND secret = GetDlgItem(dialog, 102);
      masked = (GetWindowLongW(secret, GWL_STYLE) & ES_PASSWORD) != 0 &&
               SendMessageW(secret, EM_GETPASSWORDCHAR, 0, 0) == L'*';
      SetDlgItemTextW(dialog, 101, L" a user ");
      SetDlgItemTextW(dialog, 102, L"p\u00e4ss word");
      // Enter in the password box confirms.
      PressKey(secret, VK_RETURN);
    });
    CHECK(ui.ShowLoginDialog("Connect to host", user, password));
    CHECK(driver.Found());
  }
  CHECK(size.cx == 328 && size.cy == 223);
  CHECK(masked);
  // As typed: neither trimmed nor changed.
  CHECK(user == " a user ");
  CHECK(password == "p\xc3\xa4ss word");

  // Two empty boxes are confirmed as they are.
  {
    TWindowDriver driver(L"Empty", [](HWND dialog) { Click(dialog, IDOK); });
    CHECK(ui.ShowLoginDialog("Empty", user, password));
  }
  CHECK(user.empty() && password.empty());

  // Cancel, Escape and the close box leave both as they were.
  user = "kept";
  password = "kept too";
  const std::function<void(HWND)> refusals[] = {
      [](HWND dialog) {
        SetDlgItemTextW(dialog, 101, L"typed");
        Click(dialog, IDCANCEL);
      },
      [](HWND dialog) {
        SetDlgItemTextW(dialog, 101, L"typed");
        PressKey(GetDlgItem(dialog, 101), VK_ESCAPE);
      },
      [](HWND dialog) {
        SetDlgItemTextW(dialog, 101, L"typed");
        PostMessageW(dialog, WM_CLOSE, 0, 0);
      },
  };
  for (const auto& refusal : refusals) {
    TWindowDriver driver(L"Refused", refusal);
    CHECK(!ui.ShowLoginDialog("Refused", user, password));
  }
  CHECK(user == "kept" && password == "kept too");
}

TTextDialog Texts(const char* caption) {
  TTextDialog texts;
  texts.Caption = caption;
  texts.Lines = {"First line", std::string("a\0b", 3), "last"};
  texts.OkCaption = "&Fine";
  texts.CancelCaption = "No thanks";
  texts.AcceptCaption = "I accept";
  texts.NotAcceptCaption = "I do not accept";
  return texts;
}

void WhatsNewDialog() {
  std::wstring shown;
  RECT ok{}, cancel{}, memo{}, client{};
  SIZE size{};
  {
    TWindowDriver driver(L"News", [&](HWND dialog) {
      size = OuterSize(dialog);
      GetClientRect(dialog, &client);
      ok = ClientPlace(dialog, IDOK);
      cancel = ClientPlace(dialog, IDCANCEL);
      memo = ClientPlace(dialog, 203);
      shown = Text(GetDlgItem(dialog, 203));
      Click(dialog, IDOK);
    });
    CHECK(ui.ShowWhatsNewDialog(Texts("News")));
  }
  CHECK(size.cx == 400 && size.cy == 400);
  // A NUL shows as a blank instead of ending the text.
  CHECK(shown == L"First line\r\na b\r\nlast");
  CHECK(memo.left == 10 && memo.top == 10);
  CHECK(memo.right - memo.left == client.right - 20 &&
        memo.bottom - memo.top == client.bottom - 60);
  CHECK(cancel.right == memo.right && cancel.top == memo.bottom + 10);
  CHECK(ok.left == memo.right - 2 * 75 - 10 && ok.top == cancel.top);
  CHECK(ok.right - ok.left == 75 && ok.bottom - ok.top == 25);

  const std::function<void(HWND)> refusals[] = {
      [](HWND dialog) { Click(dialog, IDCANCEL); },
      [](HWND dialog) { PressKey(GetDlgItem(dialog, IDOK), VK_ESCAPE); },
      [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); },
  };
  for (const auto& refusal : refusals) {
    TWindowDriver driver(L"News", refusal);
    CHECK(!ui.ShowWhatsNewDialog(Texts("News")));
  }
}

void LicenseDialog() {
  constexpr int kAccept = 201, kRefuse = 202;
  bool refusalPreselected = false, cancelShown = true;
  RECT ok{}, accept{}, refuse{}, memo{};
  {
    TWindowDriver driver(L"Licence", [&](HWND dialog) {
      refusalPreselected = IsDlgButtonChecked(dialog, kRefuse) == BST_CHECKED &&
                           IsDlgButtonChecked(dialog, kAccept) == BST_UNCHECKED;
      cancelShown = GetDlgItem(dialog, IDCANCEL) != nullptr;
      ok = ClientPlace(dialog, IDOK);
      accept = ClientPlace(dialog, kAccept);
      refuse = ClientPlace(dialog, kRefuse);
      memo = ClientPlace(dialog, 203);
      // OK without touching the choices refuses.
      Click(dialog, IDOK);
    });
    CHECK(!ui.ShowLicenseDialog(Texts("Licence")));
  }
  CHECK(refusalPreselected);
  CHECK(!cancelShown);
  CHECK(ok.right == memo.right && ok.top == memo.bottom + 10);
  CHECK(accept.left == 10 && accept.top == ok.top && accept.right - accept.left == 113);
  CHECK(refuse.left == 20 + 113 && refuse.top == ok.top);

  // Accepting, then closed by OK, Escape or the close box: accepted.
  const std::function<void(HWND)> closings[] = {
      [](HWND dialog) { Click(dialog, IDOK); },
      [](HWND dialog) { PressKey(GetDlgItem(dialog, IDOK), VK_ESCAPE); },
      [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); },
  };
  for (const auto& closing : closings) {
    bool exclusive = false;
    TWindowDriver driver(L"Licence", [&](HWND dialog) {
      Click(dialog, kAccept);
      Sleep(100);
      exclusive = IsDlgButtonChecked(dialog, kRefuse) == BST_UNCHECKED;
      closing(dialog);
    });
    CHECK(ui.ShowLicenseDialog(Texts("Licence")));
    CHECK(exclusive);
  }
  // Accepting and changing one's mind refuses.
  TWindowDriver driver(L"Licence", [](HWND dialog) {
    Click(dialog, kAccept);
    Click(dialog, kRefuse);
    Click(dialog, IDOK);
  });
  CHECK(!ui.ShowLicenseDialog(Texts("Licence")));
}

void AnimationWindow() {
  HWND window = nullptr;
  {
    auto animation = ui.ShowAnimation("Patching", "Line one\rLine two");
    CHECK(animation != nullptr);
    window = kavrel::tests::FindShownWindow(L"Patching");
    CHECK(window != nullptr);
    const SIZE size = OuterSize(window);
    CHECK(size.cx == 300 && size.cy == 170);
    // A dialog frame without title-bar controls.
    CHECK((GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU) == 0);
    CHECK(Text(GetDlgItem(window, 303)) == L"Line one\r\nLine two");
    for (int i = 0; i < 20; ++i) {
      animation->Advance();
      Sleep(std::getenv("KAVREL_TEST_PAUSE_MS") ? 100 : 10);
    }
  }
  CHECK(!IsWindow(window));
}

void HtmlDialog() {
  // Where the system's HTML library cannot be loaded, nothing is shown.
  if (LoadLibraryW(L"MSHTML.DLL") == nullptr) CHECK(!ui.ShowHtmlDialog("Z:\\tmp\\page.html"));
}

void MessagePump() {
  static int handled = 0;
  HWND window =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(window, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM p, LPARAM l) -> LRESULT {
                      if (m == WM_APP) ++handled;
                      return DefWindowProcW(w, m, p, l);
                    }));
  PostMessageW(window, WM_APP, 0, 0);
  PostMessageW(window, WM_APP, 0, 0);
  const DWORD start = GetTickCount();
  ui.ProcessMessages();
  CHECK(handled == 2);
  // It does not wait for more.
  CHECK(GetTickCount() - start < 500);
  DestroyWindow(window);
}

}  // namespace

int main() {
  MessageBoxes();
  LoginDialog();
  WhatsNewDialog();
  LicenseDialog();
  AnimationWindow();
  HtmlDialog();
  MessagePump();
  return checks.Finish();
}
