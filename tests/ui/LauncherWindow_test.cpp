// The real launcher in its window, under Xvfb with a window manager: started
// in an installation against the local HTTP server, its shape checked on the
// screen, dragged with the mouse during the transfer, and the application
// updated and restarted through it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "LauncherInstallation.h"
#include "XSession.h"
// Last: the X headers' macros clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kavrel::test {
namespace {

using TRgb = std::array<int, 3>;

struct TScreen {
  // Windows may go while the tree is walked: such errors are not fatal.
  TScreen() : display(XOpenDisplay(nullptr)) {
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  ~TScreen() {
    if (display != nullptr) XCloseDisplay(display);
  }
  // The top-level window of that name and where it is on the screen.
  std::optional<std::pair<int, int>> FindWindow(const std::string& name) {
    std::optional<std::pair<int, int>> found;
    Search(DefaultRootWindow(display), name, found);
    return found;
  }
  TRgb Pixel(int x, int y) {
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return {-1, -1, -1};
    const unsigned long p = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return {static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff),
            static_cast<int>(p & 0xff)};
  }
  Display* display;

 private:
  void Search(Window window, const std::string& name, std::optional<std::pair<int, int>>& found) {
    char* title = nullptr;
    if (XFetchName(display, window, &title) != 0 && title != nullptr) {
      const bool match = name == title;
      XFree(title);
      XWindowAttributes attributes;
      if (match && XGetWindowAttributes(display, window, &attributes) &&
          attributes.map_state == IsViewable) {
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
        found = {x, y};
        return;
      }
    }
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return;
    for (unsigned int i = 0; i < count && !found; ++i) Search(children[i], name, found);
    if (children != nullptr) XFree(children);
  }
};

// The splash picture's pixel as the window shows it (the picture lies 5
// pixels above the window's top).
TRgb PicturePixel(const std::string& bmp, int x, int y) {
  std::ifstream in(bmp, std::ios::binary);
  const std::string d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto u32 = [&d](std::size_t at) {
    return static_cast<int>(static_cast<unsigned char>(d[at]) |
                            static_cast<unsigned char>(d[at + 1]) << 8 |
                            static_cast<unsigned char>(d[at + 2]) << 16);
  };
  const int offset = u32(10), width = u32(18), height = u32(22);
  const int row = (width * 3 + 3) & ~3;
  const std::size_t at = offset + static_cast<std::size_t>(height - 1 - (y + 5)) * row + x * 3;
  return {static_cast<unsigned char>(d[at + 2]), static_cast<unsigned char>(d[at + 1]),
          static_cast<unsigned char>(d[at])};
}

// Whether the window of that name is shown and has the focus in time.
bool ShownAndFocused(const std::string& name) {
  return TChild({*FindProgram("xdotool"), "search", "--sync", "--onlyvisible", "--name",
                 "^" + name + "$", "windowfocus", "--sync", "%1"})
             .Wait(std::chrono::seconds(20)) == 0;
}

// Sends a key to the window of that name once it is shown and has the focus;
// false when that did not happen in time.
bool SendKeyWhenShown(const std::string& name, const std::string& key) {
  if (!ShownAndFocused(name)) return false;
  TChild({*FindProgram("xdotool"), "key", key}).Wait(std::chrono::seconds(10));
  return true;
}

class LauncherWindowTest : public TXKeyboardTest {
 protected:
  void SetUp() override {
    TXKeyboardTest::SetUp();
    if (IsSkipped()) return;
    if (const auto setroot = FindProgram("xsetroot"))
      TChild({*setroot, "-solid", "#3b5f86"}).Wait(std::chrono::seconds(10));
    if (const auto openbox = FindProgram("openbox")) {
      wm_ = TChild({*openbox}, -1, true);
      ASSERT_TRUE(WaitUntil([] {
        return TChild(
                   {"/bin/sh", "-c", "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"})
                   .Wait(std::chrono::seconds(10)) == 0;
      })) << "the window manager did not take the screen";
    }
  }
  void TearDown() override { wm_.Terminate(std::chrono::seconds(2)); }
  TChild wm_;
};

// The launcher started in its installation, with the window system's display
// or the one given.
TChild StartLauncher(const TLauncherInstallation& in, const std::string& display = "") {
  std::vector<std::string> args = {"/usr/bin/env", "-C", in.folder};
  for (const auto& [name, value] : in.Environment()) args.push_back(name + "=" + value);
  if (!display.empty()) args.push_back("DISPLAY=" + display);
  args.push_back(in.launcher);
  return TChild(args);
}

// The files of the form of a transfer's temporary file in a folder.
std::vector<std::string> TemporaryFilesIn(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (IsTemporaryName(entry.path().filename().string()))
      found.push_back(entry.path().filename().string());
  return found;
}

TEST_F(LauncherWindowTest, ClosedDuringTheRunItEndsOnceTheRunHasUnwound) {
  TLauncherInstallation in;
  // A file that is not there (the box), then one that comes slowly.
  WriteFile(in.www.File("update.ini"),
            ControlFile({{"url=" + in.server.Url("missing.dat"), "descr=Gone"},
                         {"url=" + in.server.Url("slow-100-4096/app.exe_NEW"), "descr=Slow"}}));
  TChild launcher = StartLauncher(in);
  ASSERT_TRUE(SendKeyWhenShown("Information", "Return")) << "the box for the missing file";
  // OK closed the window in the middle of the run; the program ends once the
  // run has unwound, with the status of a run that failed in part (1).
  EXPECT_EQ(launcher.Wait(std::chrono::seconds(20)), 1);
  // The slow file came, and went again with the update that failed.
  const auto requests = in.server.Requests();
  EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const TRecordedRequest& r) {
    return r.Path == "/slow-100-4096/app.exe_NEW";
  }));
  EXPECT_FALSE(ReadFile(in.folder + "/app.exe_NEW"));
}

TEST_F(LauncherWindowTest, ASignalClosesAnOpenBoxAndTheLauncherEndsAsCancelled) {
  TLauncherInstallation in;
  WriteFile(in.www.File("update.ini"),
            ControlFile({{"url=" + in.server.Url("missing.dat"), "descr=Gone"}}));
  TChild launcher = StartLauncher(in);
  // The box for the missing file waits for someone who is not there.
  ASSERT_TRUE(ShownAndFocused("Information"));
  launcher.Terminate(std::chrono::seconds(10));
  EXPECT_EQ(launcher.Wait(std::chrono::seconds(1)), 3);
}

// The display goes away in the middle of a transfer (the session ends, the
// server dies): the toolkit's end of the process leaves no temporary file.
TEST_F(LauncherWindowTest, ADisplayLostMidTransferTakesTheTemporaryFileWithIt) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  TChild server({*FindProgram("Xvfb"), "-displayfd", "3", "-screen", "0", "800x600x24"}, pipe[1],
                true);
  ::close(pipe[1]);
  char number[16] = {};
  ASSERT_GT(::read(pipe[0], number, sizeof number - 1), 0) << "a display of its own";
  ::close(pipe[0]);
  TLauncherInstallation in;
  WriteFile(in.www.File("update.ini"),
            ControlFile({{"url=" + in.server.Url("slow-200-1024/app.exe_NEW"), "descr=Slow"}}));
  TChild launcher = StartLauncher(in, ":" + std::string(number, std::strcspn(number, "\n")));
  ASSERT_TRUE(WaitUntil([&] { return !TemporaryFilesIn(in.folder).empty(); }))
      << "the transfer began";
  server.Terminate(std::chrono::seconds(10));
  EXPECT_TRUE(launcher.Wait(std::chrono::seconds(20)).has_value()) << "ended by itself";
  EXPECT_EQ(TemporaryFilesIn(in.folder), std::vector<std::string>{});
}

TEST_F(LauncherWindowTest, ShapedSplashIsDraggedAndUpdatesTheApplication) {
  TLauncherInstallation in;
  // The new program comes slowly, so that the window can be looked at and
  // dragged during its transfer.
  WriteFile(in.www.File("update.ini"),
            ControlFile({{"url=" + in.server.Url("slow-100-4096/app.exe_NEW"), "descr=App 2"}},
                        "[application]\r\nappupdate=1\r\nappname=app.exe\r\n"
                        "appparam=from the launcher\r\nappcomps=app.exe_NEW\r\n"));

  TChild launcher = StartLauncher(in);
  ASSERT_TRUE(launcher.Started());
  TScreen screen;
  ASSERT_NE(screen.display, nullptr);
  std::optional<std::pair<int, int>> at;
  ASSERT_TRUE(WaitUntil([&] { return (at = screen.FindWindow("Auto Update")).has_value(); }))
      << "no window";
  // Plain variables: a lambda below captures them, which structured bindings
  // cannot be everywhere.
  const int x = at->first, y = at->second;
  // Drawn: the picture is on the screen.
  EXPECT_TRUE(WaitUntil(
      [&] { return screen.Pixel(x + 120, y + 60) == PicturePixel(KAVREL_SPLASH_PATH, 120, 60); }));
  // It has its button in the taskbar, which the toolkit would leave out for a
  // window without a border (the mark goes once the window manager has it).
  const auto xprop = FindProgram("xprop");
  ASSERT_TRUE(xprop);
  EXPECT_TRUE(WaitUntil([&] {
    return TChild({"/bin/sh", "-c",
                   *xprop + " -name 'Auto Update' _NET_WM_STATE | grep -q SKIP_TASKBAR"})
               .Wait(std::chrono::seconds(10)) == 1;
  }));
  if (const auto import = FindProgram("import"))
    TChild({*import, "-window", "root", ::testing::TempDir() + "launcher-window.png"})
        .Wait(std::chrono::seconds(20));
  // See-through where the picture is olive (its corner), the picture elsewhere.
  EXPECT_EQ(screen.Pixel(x + 1, y + 1), screen.Pixel(2, 2)) << "the desktop behind it";
  EXPECT_NE(screen.Pixel(x + 1, y + 1), (TRgb{128, 128, 0}));

  // Escape does not close the splash; a drag by a press anywhere on the
  // picture, which comes after the key, moves it.
  ASSERT_TRUE(SendKeyWhenShown("Auto Update", "Escape"));
  const std::string xdotool = *FindProgram("xdotool");
  const auto move = [&](int dx, int dy) {
    return std::to_string(x + dx) + " " + std::to_string(y + dy);
  };
  TChild({"/bin/sh", "-c",
          xdotool + " mousemove " + move(200, 100) + " mousedown 1 sleep 0.1 mousemove " +
              move(230, 120) + " sleep 0.1 mousemove " + move(260, 140) + " sleep 0.1 mouseup 1"})
      .Wait(std::chrono::seconds(10));
  std::optional<std::pair<int, int>> moved;
  EXPECT_TRUE(WaitUntil([&] {
    return (moved = screen.FindWindow("Auto Update")) == std::make_pair(x + 60, y + 40);
  })) << (moved ? "moved elsewhere" : "gone after Escape");

  EXPECT_EQ(launcher.Wait(std::chrono::seconds(30)), 0) << "closed by the handoff";
  const auto runs = WaitForFileLines(in.record.File("record"), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(TabFields(runs[0]),
            (std::vector<std::string>{"2", TabFields(runs[0])[1], in.folder, "from the launcher"}));
}

}  // namespace
}  // namespace kavrel::test
