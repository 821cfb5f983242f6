// What the window-system tests need around them: an X server of their own
// (Xvfb, started once per test process on a display number it picks itself),
// child programs that type into the dialogs (xdotool) or take screenshots
// (ImageMagick's import), and a driver that runs steps from inside a modal
// dialog's event loop with a deadline, so that no test can hang on a dialog.
#pragma once

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::test {

// Key names for xdotool's "key" command, one per keystroke.
using TKeys = std::vector<std::string>;
TKeys operator+(TKeys first, const TKeys& second);
// The keystrokes that type a UTF-8 text.
TKeys Text(std::string_view text);

// The full path of a program found along PATH, or nothing.
std::optional<std::string> FindProgram(const std::string& name);

// A program started in the background; ended (killed if need be) when the
// object goes.
class TChild {
 public:
  TChild() = default;
  // args[0] is the program's path. A descriptor given is passed on as the
  // child's descriptor 3. The standard output goes nowhere, and so does the
  // error output of a quiet program.
  explicit TChild(const std::vector<std::string>& args, int descriptor3 = -1, bool quiet = false);
  TChild(TChild&& other) noexcept;
  TChild& operator=(TChild&& other) noexcept;
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  ~TChild();

  bool Started() const { return pid_ > 0; }
  // Waits for the end; kills the program when it has not ended in time. The
  // exit code, or nothing when it was killed or did not end normally.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // True once the program has ended (collecting its exit code).
  bool Ended();
  // Asks the program to end (SIGTERM) and waits, killing it after the timeout.
  void Terminate(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  std::optional<int> exitCode_;
  bool reaped_ = false;
};

// The X server of this test process: started on first use with DISPLAY set to
// it, stopped when the process ends. Failure() says why there is none.
class TXServer {
 public:
  static TXServer& Shared();
  bool Running() const { return failure_.empty(); }
  const std::string& Failure() const { return failure_; }
  const std::string& DisplayName() const { return display_; }

 private:
  TXServer();
  ~TXServer();

  TChild server_;
  std::string display_;
  std::string failure_;
};

// Runs a list of steps while a modal dialog is open. Each step waits until its
// condition holds (checked every 20 ms from the dialog's own event loop), then
// acts. When the deadline passes first, every window is hidden, which ends
// any modal loop, and TimedOut() turns true.
class TDialogDriver {
 public:
  struct TStep {
    std::function<bool()> Ready;
    std::function<void()> Action;
  };

  explicit TDialogDriver(std::chrono::milliseconds deadline = std::chrono::seconds(20));
  ~TDialogDriver();
  TDialogDriver(const TDialogDriver&) = delete;
  TDialogDriver& operator=(const TDialogDriver&) = delete;

  // Adds a step; a step without a condition is ready at once.
  TDialogDriver& Then(std::function<void()> action, std::function<bool()> ready = {});
  // Adds a step that presses the keys once the condition holds, with xdotool
  // sending them to the window that has the focus. The programs end or are
  // killed when the driver goes.
  TDialogDriver& Keys(TKeys keys, std::function<bool()> ready = {});
  // Adds a step that waits until a window with the given title is shown,
  // gives it the focus and presses the keys.
  TDialogDriver& FocusAndKeys(const std::string& title, TKeys keys);

  // True when every xdotool program started so far has ended.
  bool KeysDone();
  // Starts the steps; call just before the dialog is shown.
  void Start();
  bool TimedOut() const { return timedOut_; }
  // Steps that had not run when the driver stopped.
  std::size_t StepsLeft() const { return steps_.size() - next_; }

 private:
  void StartXdotool(std::vector<std::string> args);
  static void Poll(void* self);
  static void Expire(void* self);

  std::vector<TStep> steps_;
  std::size_t next_ = 0;
  std::vector<TChild> children_;
  std::chrono::milliseconds deadline_;
  bool timedOut_ = false;
  bool started_ = false;
};

// Tests that show windows: skipped when Xvfb is not installed, failed when it
// is but does not start.
class TXDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

// Tests that also type into windows: skipped as well when xdotool is missing.
class TXKeyboardTest : public TXDisplayTest {
 protected:
  void SetUp() override;
};

// Shows the window and waits (at most 10 s) until the X server has mapped it
// and it has been drawn. False when that did not happen in time.
bool ShowAndWaitUntilDrawn(Fl_Window& window);

// The X id of a shown window, in the form xdotool takes ("0x...").
std::string WindowId(Fl_Window& window);

// Runs the event loop until the condition holds; false when it did not within
// the timeout.
bool PumpUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The RGB pixels of a part of a shown window, as the X server has them.
std::vector<unsigned char> ReadPixels(Fl_Window& window, int x, int y, int w, int h);

// The number of windows at the top of the shared X server's screen, shown or
// not, counted over a connection of its own: the toolkit's connection is
// neither needed nor opened.
unsigned TopLevelWindowCount();

// The first shown window of the given type, or nullptr.
template <class T>
T* FindShownWindow() {
  for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w))
    if (auto* found = dynamic_cast<T*>(w); found != nullptr && found->shown()) return found;
  return nullptr;
}

// Asks the window to close as a window manager does when its close box is
// clicked: a WM_DELETE_WINDOW message through the X server.
void SendCloseRequest(Fl_Window& window);

// Saves the window's content as a PNG file with ImageMagick's import. True
// when the file was written.
bool SaveScreenshot(Fl_Window& window, const std::string& path);

}  // namespace kavrel::test
