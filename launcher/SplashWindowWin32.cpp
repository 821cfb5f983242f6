#include "SplashWindowWin32.h"

#include <windows.h>
// After the base header, which it needs.
#include <commctrl.h>

#include "BitmapHeader.h"
#include "Errors.h"
#include "Files.h"
#include "PathNames.h"
#include "WideText.h"

namespace kavrel::launcher {

namespace {

constexpr COLORREF kOlive = RGB(128, 128, 0);
constexpr int kPictureLeft = 0, kPictureTop = -5, kPictureWidth = 470, kPictureHeight = 240;
constexpr int kBarLeft = 32, kBarTop = 216, kBarWidth = 401, kBarHeight = 10;
constexpr UINT_PTR kFirstShownTimer = 1;
constexpr const wchar_t* kClassName = L"KavrelLauncherSplash";

void RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;  // each window sets its own procedure on creation
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) != 0;
  }();
  (void)registered;
}

}  // namespace

HBITMAP LoadSplashBitmap(const std::string& path) {
  const std::string native = platform::ToNativePath(path);
  if (!platform::FileExists(native))
    throw platform::EInOutError(
        "Cannot open file \"" + path + "\". " + platform::SystemErrorText(ERROR_FILE_NOT_FOUND),
        ERROR_FILE_NOT_FOUND);
  const auto bytes = platform::ReadWholeFile(native, 64 << 20);
  if (!bytes || !PlausibleBitmap(*bytes))
    throw platform::EInOutError("Bitmap image is not valid: " + path, ERROR_BAD_FORMAT);
  auto* bitmap =
      static_cast<HBITMAP>(LoadImageW(nullptr, platform::win32::Wide(native).c_str(), IMAGE_BITMAP,
                                      0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (bitmap == nullptr)
    throw platform::EInOutError("Bitmap image is not valid: " + path, ERROR_BAD_FORMAT);
  return bitmap;
}

TSplashWindowWin32::TSplashWindowWin32() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  RegisterWindowClass();
  olive_ = CreateSolidBrush(kOlive);
  // Tahoma where the system has it; the font mapper finds the nearest else.
  font_ =
      CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");

  const int left = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  // No border, title bar or system menu; a taskbar button with the caption;
  // text read right to left.
  window_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_APPWINDOW | WS_EX_RTLREADING, kClassName,
                            L"Auto Update", WS_POPUP | WS_CLIPCHILDREN, left, top, kWidth, kHeight,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window_ == nullptr) return;
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure));
  // Every olive pixel, the background's included, is see-through.
  SetLayeredWindowAttributes(window_, kOlive, 0, LWA_COLORKEY);

  const auto child = [this](const wchar_t* windowClass, const wchar_t* text, DWORD style, int x,
                            int y, int w, int h) {
    HWND control = CreateWindowExW(0, windowClass, text, WS_CHILD | style, x, y, w, h, window_,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
  };
  // The file list lies below the visible area; it and Label2 stay hidden and
  // disabled, holding what the form gives them.
  checkListBox1_ = child(L"LISTBOX", L"", WS_DISABLED | WS_VSCROLL, 312, 242, 153, 188);
  label2_ = child(L"STATIC", L"Label2", WS_DISABLED, 232, 197, 31, 13);
  progressBar1_ = child(PROGRESS_CLASSW, L"", WS_VISIBLE, kBarLeft, kBarTop, kBarWidth, kBarHeight);
  SendMessageW(progressBar1_, PBM_SETRANGE32, 0, 100);
  SendMessageW(progressBar1_, PBM_SETPOS, 0, 0);
}

TSplashWindowWin32::~TSplashWindowWin32() {
  if (window_ != nullptr) DestroyWindow(window_);
  if (picture_ != nullptr) DeleteObject(picture_);
  if (font_ != nullptr) DeleteObject(font_);
  if (olive_ != nullptr) DeleteObject(olive_);
}

void TSplashWindowWin32::LoadPicture(const std::string& path) {
  HBITMAP picture = LoadSplashBitmap(path);
  if (picture_ != nullptr) DeleteObject(picture_);
  picture_ = picture;
  if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);
}

void TSplashWindowWin32::ShowProgress(int maximum, int position) {
  if (progressBar1_ == nullptr) return;
  // A range of nothing draws as an empty bar.
  SendMessageW(progressBar1_, PBM_SETRANGE32, 0, maximum > 0 ? maximum : 1);
  SendMessageW(progressBar1_, PBM_SETPOS, static_cast<WPARAM>(maximum > 0 ? position : 0), 0);
}

void TSplashWindowWin32::Close() {
  if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
}

void TSplashWindowWin32::Show(std::function<void()> onFirstShown) {
  if (window_ == nullptr) return;
  onFirstShown_ = std::move(onFirstShown);
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  SetForegroundWindow(window_);
  SetTimer(window_, kFirstShownTimer, 50, nullptr);
}

LRESULT CALLBACK TSplashWindowWin32::Procedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  auto* self = reinterpret_cast<TSplashWindowWin32*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT TSplashWindowWin32::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCHITTEST: {
      // The whole window works as a title bar: a press anywhere drags it.
      const LRESULT hit = DefWindowProcW(window_, message, wParam, lParam);
      return hit == HTCLIENT ? HTCAPTION : hit;
    }
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(window_, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, olive_);
      return 1;
    }
    case WM_PAINT:
      Paint();
      return 0;
    case WM_TIMER:
      if (wParam == kFirstShownTimer) {
        KillTimer(window_, kFirstShownTimer);
        if (auto handler = std::move(onFirstShown_)) handler();
      }
      return 0;
    case WM_CLOSE:
      // The window system's close request (Alt+F4, the taskbar) closes it,
      // cancelling a run under way.
      if (CloseRequested)
        CloseRequested();
      else
        Close();
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

// The picture at its natural size from Image1's top left corner, clipped by
// Image1's box.
void TSplashWindowWin32::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  if (picture_ != nullptr) {
    BITMAP info{};
    GetObjectW(picture_, sizeof(info), &info);
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, picture_);
    const int top = kPictureTop < 0 ? 0 : kPictureTop;
    const int width = info.bmWidth < kPictureWidth ? info.bmWidth : kPictureWidth;
    const int visible = kPictureTop + kPictureHeight - top;
    const int height = info.bmHeight - (top - kPictureTop) < visible
                           ? info.bmHeight - (top - kPictureTop)
                           : visible;
    if (width > 0 && height > 0)
      BitBlt(dc, kPictureLeft, top, width, height, source, 0, top - kPictureTop, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
  }
  EndPaint(window_, &paint);
}

}  // namespace kavrel::launcher
