#include "Win32UserInterface.h"

#include <windows.h>
#undef MessageBox  // the interface's member, not the system's macro

#include "WideText.h"
#include "Win32Dialogs.h"

namespace kavrel::platform {

namespace {

using win32::Wide;

// The system's box answers OK when a box with only OK is closed by Escape or
// its close box, and a Yes/No box takes no Escape. Both are answered here as
// the other dialogs answer them: Cancel and None. The box of this thread is
// found as it is made and its procedure is wrapped for that.
struct TBoxHook {
  HHOOK Hook = nullptr;
  WNDPROC Original = nullptr;
  TMsgButtons Buttons = TMsgButtons::Ok;
};
thread_local TBoxHook* tBoxHook = nullptr;

// The value EndDialog gets for None: no button's number.
constexpr INT_PTR kNoAnswer = 0;

LRESULT CALLBACK BoxProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  TBoxHook& hook = *tBoxHook;
  // Escape and the close box arrive as the cancel command without a control.
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && lParam == 0 &&
      hook.Buttons != TMsgButtons::OkCancel) {
    EndDialog(box, hook.Buttons == TMsgButtons::Ok ? IDCANCEL : kNoAnswer);
    return 0;
  }
  if (message == WM_CLOSE && hook.Buttons != TMsgButtons::OkCancel) {
    EndDialog(box, hook.Buttons == TMsgButtons::Ok ? IDCANCEL : kNoAnswer);
    return 0;
  }
  return CallWindowProcW(hook.Original, box, message, wParam, lParam);
}

LRESULT CALLBACK WatchForBox(int code, WPARAM wParam, LPARAM lParam) {
  TBoxHook& hook = *tBoxHook;
  if (code == HCBT_ACTIVATE && hook.Original == nullptr) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = {};
    // The box is the first dialog to be activated while it is shown.
    if (GetClassNameW(box, name, 16) > 0 && std::wstring_view(name) == L"#32770") {
      hook.Original = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BoxProcedure)));
    }
  }
  return CallNextHookEx(hook.Hook, code, wParam, lParam);
}

UINT Style(TMsgKind kind, TMsgButtons buttons) {
  UINT style = MB_TASKMODAL | MB_SETFOREGROUND;
  switch (kind) {
    case TMsgKind::Information:
      style |= MB_ICONINFORMATION;
      break;
    case TMsgKind::Warning:
      style |= MB_ICONWARNING;
      break;
    case TMsgKind::Error:
      style |= MB_ICONERROR;
      break;
    case TMsgKind::Confirmation:
      style |= MB_ICONQUESTION;
      break;
  }
  switch (buttons) {
    case TMsgButtons::Ok:
      return style | MB_OK;
    case TMsgButtons::OkCancel:
      return style | MB_OKCANCEL;
    case TMsgButtons::YesNo:
      return style | MB_YESNO;
  }
  return style;
}

}  // namespace

TModalResult TWin32UserInterface::MessageBox(std::string_view text, std::string_view caption,
                                             TMsgKind kind, TMsgButtons buttons) {
  TBoxHook hook;
  hook.Buttons = buttons;
  TBoxHook* outer = tBoxHook;
  tBoxHook = &hook;
  hook.Hook = SetWindowsHookExW(WH_CBT, WatchForBox, nullptr, GetCurrentThreadId());
  const int answer =
      ::MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), Style(kind, buttons));
  if (hook.Hook != nullptr) UnhookWindowsHookEx(hook.Hook);
  tBoxHook = outer;
  switch (answer) {
    case IDOK:
      return TModalResult::Ok;
    case IDCANCEL:
      return TModalResult::Cancel;
    case IDYES:
      return TModalResult::Yes;
    case IDNO:
      return TModalResult::No;
    default:
      return TModalResult::None;
  }
}

void TWin32UserInterface::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the loop that owns the program's end.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

bool TWin32UserInterface::ShowLoginDialog(std::string_view caption, std::string& user,
                                          std::string& password) {
  return win32::RunLoginDialog(caption, user, password);
}

bool TWin32UserInterface::ShowWhatsNewDialog(const TTextDialog& dialog) {
  return win32::RunWhatsNewDialog(dialog);
}

bool TWin32UserInterface::ShowLicenseDialog(const TTextDialog& dialog) {
  return win32::RunLicenseDialog(dialog);
}

bool TWin32UserInterface::ShowHtmlDialog(std::string_view address) {
  return win32::ShowHtmlPage(address);
}

std::unique_ptr<IAnimationWindow> TWin32UserInterface::ShowAnimation(std::string_view caption,
                                                                     std::string_view message) {
  return win32::OpenAnimationWindow(caption, message);
}

}  // namespace kavrel::platform
