// The launcher's splash window as a Win32 window: borderless, layered with
// olive as its see-through colour key so that its shape is that of its
// picture, a progress bar, and dragged by a press anywhere on it.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "Unit3.h"

namespace kavrel::launcher {

// The splash picture of a bitmap file; raises platform::EInOutError when the
// file is missing or is not a bitmap. Delete the bitmap with DeleteObject.
HBITMAP LoadSplashBitmap(const std::string& path);

class TSplashWindowWin32 final : public TForm3View {
 public:
  static constexpr int kWidth = 473;
  static constexpr int kHeight = 241;

  // Centred on the desktop, not yet shown.
  TSplashWindowWin32();
  ~TSplashWindowWin32() override;
  TSplashWindowWin32(const TSplashWindowWin32&) = delete;
  TSplashWindowWin32& operator=(const TSplashWindowWin32&) = delete;

  void LoadPicture(const std::string& path) override;
  void ShowProgress(int maximum, int position) override;
  // Hides the window: the loop ends once control is back in it.
  void Close() override;

  // Shows the window and calls the handler once, from the message loop, when
  // it is on the screen.
  void Show(std::function<void()> onFirstShown);
  bool Visible() const { return window_ != nullptr && IsWindowVisible(window_); }
  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();

  HWND window_ = nullptr;
  HWND progressBar1_ = nullptr;
  HWND label2_ = nullptr;
  HWND checkListBox1_ = nullptr;
  HFONT font_ = nullptr;
  HBRUSH olive_ = nullptr;
  HBITMAP picture_ = nullptr;
  std::function<void()> onFirstShown_;
};

}  // namespace kavrel::launcher
