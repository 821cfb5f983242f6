#include <span>

#include "DialogSupport.h"
#include "LoginBanner.h"
#include "WideText.h"
#include "Win32Dialogs.h"

namespace kavrel::platform::win32 {

namespace {

constexpr int kOuterWidth = 328, kOuterHeight = 223;
constexpr int kBannerId = 100, kUserId = 101, kPasswordId = 102;

struct TLoginState {
  std::string Caption;
  std::string User;
  std::string Password;
  HBITMAP Banner = nullptr;
};

// A label sizes itself to its caption in the font at hand, from its stored
// size on; it neither wraps nor cuts the caption.
void AddLabel(HWND dialog, std::string_view caption, int x, int y, int width, int height) {
  HWND label = AddControl(dialog, L"STATIC", caption, SS_LEFTNOWORDWRAP, -1, x, y, width, height);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, DialogFont());
  RECT extent{0, 0, 0, 0};
  DrawTextW(dc, Wide(caption).c_str(), -1, &extent, DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  if (extent.right > width || extent.bottom > height)
    SetWindowPos(label, nullptr, 0, 0, extent.right > width ? extent.right : width,
                 extent.bottom > height ? extent.bottom : height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Build(HWND dialog, TLoginState& state) {
  SetWindowTextW(dialog, Wide(state.Caption).c_str());
  PlaceCentred(dialog, kOuterWidth, kOuterHeight);
  // The picture control takes the size of its picture.
  HWND image = AddControl(dialog, L"STATIC", "", SS_BITMAP, kBannerId, 0, 0, 320, 60);
  if (state.Banner != nullptr)
    SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(state.Banner));
  // Each label comes just before its box: the access key of a label moves the
  // focus to the next control that takes it. The boxes and buttons are in
  // tab order: Edit1, Edit2, OK, Cancel.
  AddLabel(dialog, "&User name: ", 16, 80, 57, 13);
  HWND user = AddControl(dialog, L"EDIT", "", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, kUserId, 104,
                         80, 193, 21, WS_EX_CLIENTEDGE);
  AddLabel(dialog, "&Password:", 16, 112, 49, 13);
  HWND password = AddControl(dialog, L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD,
                             kPasswordId, 104, 112, 193, 21, WS_EX_CLIENTEDGE);
  SendMessageW(password, EM_SETPASSWORDCHAR, L'*', 0);
  AddControl(dialog, L"BUTTON", "OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, 144, 152, 75, 25);
  AddControl(dialog, L"BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, 224, 152, 75, 25);
  SetFocus(user);
  SetForegroundWindow(dialog);
}

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto& state = *reinterpret_cast<TLoginState*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      Build(dialog, state);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
      auto* state = reinterpret_cast<TLoginState*>(GetWindowLongPtrW(dialog, DWLP_USER));
      const int id = LOWORD(wParam);
      // Enter and OK confirm; Escape, Cancel and the close box cancel.
      if (id == IDOK) {
        // Taken as typed: neither trimmed nor checked.
        state->User = WindowText(GetDlgItem(dialog, kUserId));
        state->Password = WindowText(GetDlgItem(dialog, kPasswordId));
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

bool RunLoginDialog(std::string_view caption, std::string& user, std::string& password) {
  TLoginState state;
  state.Caption = caption;
  if (auto picture = DecodeBmp(std::span(resources::kLoginBanner, resources::kLoginBannerSize)))
    state.Banner = BitmapOf(*picture);
  const INT_PTR result = RunCodeDialog(Procedure, reinterpret_cast<LPARAM>(&state),
                                       WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
  if (state.Banner != nullptr) DeleteObject(state.Banner);
  if (result != IDOK) return false;
  user = std::move(state.User);
  password = std::move(state.Password);
  return true;
}

}  // namespace kavrel::platform::win32
