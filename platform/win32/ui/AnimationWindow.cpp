#include <windows.h>
// After the base header, which it needs.
#include <commctrl.h>

#include <cmath>
#include <string>

#include "DialogSupport.h"
#include "WideText.h"
#include "Win32Dialogs.h"

namespace kavrel::platform::win32 {

namespace {

constexpr int kWidth = 300, kHeight = 170;
constexpr int kAnimationWidth = 272, kAnimationHeight = 60;  // the file-copy animation's size
constexpr int kAnimationId = 301, kDrawnId = 302, kMessageId = 303;
// The file-copy animation among the system shell's resources.
constexpr WORD kFileCopyAnimation = 160;
constexpr int kDrawnFrames = 16;

// Line breaks of any kind as the static control shows them.
std::string WindowsLineBreaks(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

void DrawFolder(HDC dc, int x, int y) {
  HBRUSH fill = CreateSolidBrush(RGB(0xE8, 0xC0, 0x50));
  HBRUSH edge = CreateSolidBrush(RGB(0x90, 0x70, 0x20));
  RECT body{x, y + 6, x + 44, y + 36}, tab{x, y, x + 18, y + 8};
  FillRect(dc, &body, fill);
  FillRect(dc, &tab, fill);
  FrameRect(dc, &body, edge);
  DeleteObject(fill);
  DeleteObject(edge);
}

// The stand-in where the system has no file-copy animation: two folders and
// a sheet travelling between them, one picture per frame.
void DrawFrame(HDC dc, const RECT& area, int frame) {
  FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
  const int width = area.right - area.left, height = area.bottom - area.top;
  const int folderTop = area.top + height - 38;
  DrawFolder(dc, area.left + 8, folderTop);
  DrawFolder(dc, area.left + width - 52, folderTop);
  const double t = static_cast<double>(frame) / (kDrawnFrames - 1);
  const int startX = area.left + 20, endX = area.left + width - 40;
  const int sheetX = startX + static_cast<int>((endX - startX) * t);
  const int sheetY = folderTop - 4 - static_cast<int>(std::sin(t * 3.14159265) * (height - 46));
  RECT sheet{sheetX, sheetY, sheetX + 16, sheetY + 20};
  FillRect(dc, &sheet, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FrameRect(dc, &sheet, GetSysColorBrush(COLOR_BTNSHADOW));
  for (int line = 0; line < 3; ++line) {
    RECT stroke{sheetX + 3, sheetY + 5 + line * 5, sheetX + 13, sheetY + 6 + line * 5};
    FillRect(dc, &stroke, GetSysColorBrush(COLOR_BTNSHADOW));
  }
}

class TAnimationWindow final : public IAnimationWindow {
 public:
  TAnimationWindow(std::string_view caption, std::string_view message) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&controls);
    // A dialog frame without title-bar controls: nothing closes it while the
    // program runs.
    TEmptyDialogTemplate empty(WS_POPUP | WS_CAPTION | DS_MODALFRAME);
    window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &empty.Header, nullptr,
                                         Procedure, reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) return;
    SetWindowTextW(window_, Wide(caption).c_str());
    PlaceCentred(window_, kWidth, kHeight);
    shell_ = LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HWND animation = AddControl(window_, ANIMATE_CLASSW, "", ACS_TRANSPARENT | ACS_AUTOPLAY,
                                kAnimationId, 10, 10, kAnimationWidth, kAnimationHeight);
    if (animation != nullptr && shell_ != nullptr &&
        SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(shell_),
                     reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kFileCopyAnimation)))) {
      animation_ = animation;
    } else {
      if (animation != nullptr) DestroyWindow(animation);
      AddControl(window_, L"STATIC", "", SS_OWNERDRAW, kDrawnId, 10, 10, kAnimationWidth,
                 kAnimationHeight);
    }
    RECT placed{};
    GetWindowRect(animation_ != nullptr ? animation_ : GetDlgItem(window_, kDrawnId), &placed);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&placed), 2);
    RECT client{};
    GetClientRect(window_, &client);
    const int messageTop = placed.bottom + 8;
    AddControl(window_, L"STATIC", WindowsLineBreaks(message), SS_LEFT | SS_NOPREFIX, kMessageId,
               10, messageTop, client.right - 20, client.bottom - messageTop - 4);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    // The control plays on by itself from when it opens; a drawn stand-in
    // moves on with each Advance.
  }

  ~TAnimationWindow() override {
    if (animation_ != nullptr) SendMessageW(animation_, ACM_OPENW, 0, 0);  // stops and closes it
    if (window_ != nullptr) DestroyWindow(window_);
    if (shell_ != nullptr) FreeLibrary(shell_);
  }

  void Advance() override {
    if (window_ == nullptr) return;
    frame_ = (frame_ + 1) % kDrawnFrames;
    // Drawn at once: no window message is handled while the program runs.
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      return FALSE;
    }
    if (message == WM_DRAWITEM) {
      const auto* self = reinterpret_cast<TAnimationWindow*>(GetWindowLongPtrW(window, DWLP_USER));
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (self == nullptr || item.CtlID != kDrawnId) return FALSE;
      DrawFrame(item.hDC, item.rcItem, self->frame_);
      return TRUE;
    }
    return FALSE;
  }

  HWND window_ = nullptr;
  HWND animation_ = nullptr;
  HMODULE shell_ = nullptr;
  int frame_ = 0;
};

}  // namespace

std::unique_ptr<IAnimationWindow> OpenAnimationWindow(std::string_view caption,
                                                      std::string_view message) {
  return std::make_unique<TAnimationWindow>(caption, message);
}

}  // namespace kavrel::platform::win32
