// Drives the windows of the program under test from a second thread, the way
// a user would: it waits for a top-level window of a title to be shown, then
// acts on it through messages.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace kavrel::tests {

// The checks of a test program; the totals close its output in the form
// the test runners read.
class TChecks {
 public:
  void Check(bool condition, const char* what, int line) {
    if (condition) {
      ++passed_;
      return;
    }
    ++failed_;
    std::printf("FAILED line %d: %s\n", line, what);
    std::fflush(stdout);
  }
  int Finish() const {
    std::printf("%d passed, %d failed\n", passed_, failed_);
    return failed_ == 0 ? 0 : 1;
  }

 private:
  int passed_ = 0;
  int failed_ = 0;
};

// The shown top-level window of this process with the title, or null.
HWND FindShownWindow(const std::wstring& title);

// Starts acting on the window of the title once it is shown; the action runs
// on the driver's thread. With KAVREL_TEST_PAUSE_MS set, it waits that long
// first, so that the window can be looked at.
class TWindowDriver {
 public:
  TWindowDriver(std::wstring title, std::function<void(HWND)> action);
  ~TWindowDriver();
  // Whether the window was found before the time ran out.
  bool Found() const { return found_; }

 private:
  std::thread thread_;
  bool found_ = false;
};

// Sends a key press to a control as the keyboard would, through the queue
// of the thread that owns it, where the dialog's loop sees it.
void PressKey(HWND control, WPARAM key);
// A click on the dialog's control of the number.
void Click(HWND dialog, int id);

}  // namespace kavrel::tests
