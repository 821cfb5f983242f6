// The host application's window on Windows: the same status line, "Update
// available" area and progress bar as on FLTK, in the system's own controls.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <vector>

#include "HostWindow.h"

namespace {

std::wstring Wide(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// An edit control ends its lines with CR LF.
std::wstring EditText(const std::string& text) {
  std::wstring lines;
  for (wchar_t c : Wide(text)) {
    if (c == L'\n') lines += L'\r';
    lines += c;
  }
  return lines;
}

constexpr int kUpdateButton = 1;
constexpr int kBarRange = 1000;

class Win32HostWindow final : public HostWindow {
 public:
  explicit Win32HostWindow(const std::string& title) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSW type{};
    type.lpfnWndProc = Procedure;
    type.hInstance = instance;
    type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = L"HostAppWindow";
    RegisterClassW(&type);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, 440, 330};
    AdjustWindowRect(&frame, style, FALSE);
    window_ = CreateWindowW(L"HostAppWindow", Wide(title).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                            nullptr, nullptr, instance, this);
    status_ = Control(L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE, 15, 10, 410, 30);
    offer_ = {Control(L"BUTTON", L"Update available", BS_GROUPBOX, 15, 45, 410, 230),
              caption_ = Control(L"STATIC", L"", SS_LEFTNOWORDWRAP, 25, 70, 390, 20),
              text_ = Control(L"EDIT", L"", ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_BORDER, 25,
                              95, 390, 135),
              update_ = Control(L"BUTTON", L"Update now", BS_DEFPUSHBUTTON | WS_TABSTOP, 295, 238,
                                120, 28, kUpdateButton)};
    for (HWND control : offer_) ShowWindow(control, SW_HIDE);
    progress_ = Control(PROGRESS_CLASSW, L"", 0, 15, 287, 410, 26);
    SendMessageW(progress_, PBM_SETRANGE32, 0, kBarRange);
    ShowWindow(window_, SW_SHOW);
    Pump();
  }

  ~Win32HostWindow() override {
    if (!closed_) DestroyWindow(window_);
  }

  void ShowStatus(const std::string& text) override {
    SetWindowTextW(status_, Wide(text).c_str());
    Pump();
  }

  void ShowProgress(const std::string&, std::int64_t position, std::int64_t size) override {
    const std::int64_t done = size > 0 ? position * kBarRange / size : 0;
    SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(done), 0);
    Pump();
  }

  bool OfferUpdate(const std::string& caption, const std::string& text) override {
    SetWindowTextW(caption_, Wide(caption).c_str());
    SetWindowTextW(text_, EditText(text).c_str());
    for (HWND control : offer_) ShowWindow(control, SW_SHOW);
    EnableWindow(update_, TRUE);
    accepted_ = false;
    while (!accepted_ && !closed_) {
      WaitMessage();
      Pump();
    }
    if (!closed_) EnableWindow(update_, FALSE);  // the update runs now
    return accepted_;
  }

  bool Ask(const std::string& caption, const std::string& text, bool question) override {
    const int answer =
        MessageBoxW(closed_ ? nullptr : window_, Wide(text).c_str(), Wide(caption).c_str(),
                    question ? MB_YESNO | MB_ICONQUESTION : MB_OK);
    return answer == IDYES || answer == IDOK;
  }

  bool Closed() override {
    Pump();
    return closed_;
  }

  void Run() override {
    while (!closed_) {
      WaitMessage();
      Pump();
    }
  }

 private:
  HWND Control(const wchar_t* type, const wchar_t* text, DWORD style, int x, int y, int width,
               int height, int id = 0) {
    const HWND control =
        CreateWindowW(type, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, window_,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 TRUE);
    return control;
  }

  static void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
      const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(l);
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_COMMAND && LOWORD(w) == kUpdateButton) {
      self->accepted_ = true;
      return 0;
    }
    // The close control ends the program, whatever it is doing.
    if (self != nullptr && message == WM_CLOSE) {
      self->closed_ = true;
      DestroyWindow(window);
      return 0;
    }
    return DefWindowProcW(window, message, w, l);
  }

  HWND window_ = nullptr;
  HWND status_ = nullptr;
  HWND caption_ = nullptr;
  HWND text_ = nullptr;
  HWND update_ = nullptr;
  HWND progress_ = nullptr;
  std::vector<HWND> offer_;  // the "Update available" area's controls
  bool accepted_ = false;
  bool closed_ = false;
};

}  // namespace

std::unique_ptr<HostWindow> OpenHostWindow(const std::string& title) {
  return std::make_unique<Win32HostWindow>(title);
}
