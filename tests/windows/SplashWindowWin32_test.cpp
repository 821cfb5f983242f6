// The launcher's splash window under a real window system: its see-through
// key, its drag area, its progress bar and its picture.
#include <windows.h>
// After the base header, which it needs.
#include <commctrl.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Errors.h"
#include "SplashWindowWin32.h"
#include "WindowDriver.h"

using kavrel::launcher::TSplashWindowWin32;

namespace {

kavrel::tests::TChecks checks;
#define CHECK(condition) checks.Check((condition), #condition, __LINE__)

// A 24-bit picture, olive but for a white square in the middle.
std::string WriteSquarePicture(const std::string& path, bool cutShort) {
  const int width = 470, height = 240, stride = width * 3 + 2;
  std::string pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool square = x >= 200 && x < 270 && y >= 100 && y < 140;
      pixels += square ? "\xff\xff\xff" : std::string("\x00\x80\x80", 3);
    }
    pixels += std::string(stride - width * 3, '\0');
  }
  const auto u32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  std::string file = "BM" + u32(54 + pixels.size()) + u32(0) + u32(54) + u32(40) + u32(width) +
                     u32(height) + std::string("\x01\x00\x18\x00", 4) + u32(0) +
                     u32(pixels.size()) + u32(2835) + u32(2835) + u32(0) + u32(0) + pixels;
  if (cutShort) file.resize(file.size() / 2);
  std::ofstream(path, std::ios::binary) << file;
  return path;
}

COLORREF PixelAt(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  const COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

void Pump() {
  MSG message;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
}

}  // namespace

int main() {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  const std::string picture = WriteSquarePicture(std::string(folder) + "kv-splash.bmp", false);
  const std::string cut = WriteSquarePicture(std::string(folder) + "kv-cut.bmp", true);

  TSplashWindowWin32 window;
  HWND handle = window.Handle();
  CHECK(handle != nullptr);
  // Borderless, layered with olive as the see-through key.
  CHECK((GetWindowLongW(handle, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU)) == 0);
  COLORREF key = 0;
  DWORD flags = 0;
  CHECK(GetLayeredWindowAttributes(handle, &key, nullptr, &flags) && (flags & LWA_COLORKEY) &&
        key == RGB(128, 128, 0));
  RECT outer{};
  GetWindowRect(handle, &outer);
  CHECK(outer.right - outer.left == 473 && outer.bottom - outer.top == 241);

  bool missingRaised = false, cutRaised = false;
  try {
    window.LoadPicture(std::string(folder) + "no-such-picture.bmp");
  } catch (const kavrel::platform::EInOutError&) {
    missingRaised = true;
  }
  try {
    window.LoadPicture(cut);
  } catch (const kavrel::platform::EInOutError&) {
    cutRaised = true;
  }
  CHECK(missingRaised);
  CHECK(cutRaised);
  window.LoadPicture(picture);

  int shown = 0;
  window.Show([&] { ++shown; });
  Pump();
  CHECK(shown == 1);
  CHECK(window.Visible());
  // The picture is drawn 5 pixels higher than the window's top: its row 105
  // from the top is the window's row 100.
  CHECK(PixelAt(handle, 230, 100) == RGB(255, 255, 255));
  CHECK(PixelAt(handle, 10, 10) == RGB(128, 128, 0));

  // A press anywhere on the window drags it like a title bar.
  CHECK(SendMessageW(handle, WM_NCHITTEST, 0, MAKELPARAM(outer.left + 5, outer.top + 5)) ==
        HTCAPTION);
  CHECK(SendMessageW(handle, WM_NCHITTEST, 0, MAKELPARAM(outer.left + 240, outer.top + 120)) ==
        HTCAPTION);

  HWND bar = FindWindowExW(handle, nullptr, PROGRESS_CLASSW, nullptr);
  CHECK(bar != nullptr && IsWindowVisible(bar));
  window.ShowProgress(2000, 1500);
  CHECK(SendMessageW(bar, PBM_GETRANGE, FALSE, 0) == 2000);
  CHECK(SendMessageW(bar, PBM_GETPOS, 0, 0) == 1500);
  // A file of no size shows an empty bar.
  window.ShowProgress(0, 0);
  CHECK(SendMessageW(bar, PBM_GETPOS, 0, 0) == 0);

  if (const char* pause = std::getenv("KAVREL_TEST_PAUSE_MS")) Sleep(std::atoi(pause));
  // The window system's close request closes it; the loop then ends.
  SendMessageW(handle, WM_CLOSE, 0, 0);
  CHECK(!window.Visible());
  DeleteFileA(picture.c_str());
  DeleteFileA(cut.c_str());
  return checks.Finish();
}
