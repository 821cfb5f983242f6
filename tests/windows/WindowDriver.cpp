#include "WindowDriver.h"

#include <chrono>
#include <cstdlib>

namespace kavrel::tests {

namespace {

struct TSearch {
  const std::wstring* Title;
  HWND Found;
};

BOOL CALLBACK Visit(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<TSearch*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  if (*search.Title != title) return TRUE;
  search.Found = window;
  return FALSE;
}

}  // namespace

HWND FindShownWindow(const std::wstring& title) {
  TSearch search{&title, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

TWindowDriver::TWindowDriver(std::wstring title, std::function<void(HWND)> action)
    : thread_([this, title = std::move(title), action = std::move(action)] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        HWND window = nullptr;
        while ((window = FindShownWindow(title)) == nullptr &&
               std::chrono::steady_clock::now() < deadline)
          Sleep(20);
        if (window == nullptr) return;
        found_ = true;
        if (const char* pause = std::getenv("KAVREL_TEST_PAUSE_MS")) Sleep(std::atoi(pause));
        action(window);
      }) {}

TWindowDriver::~TWindowDriver() { thread_.join(); }

void PressKey(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 1 | 3u << 30);
}

void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

}  // namespace kavrel::tests
