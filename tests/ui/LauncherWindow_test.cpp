// The real launcher in its window, under Xvfb with a window manager: started
// in an installation against the local HTTP server, its shape checked on the
// screen, dragged with the mouse during the transfer, and the application
// updated and restarted through it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "SettingsFile.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "XSession.h"
// Last: the X headers' macros clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kavrel::test {
namespace {

using TRgb = std::array<int, 3>;

struct TScreen {
  TScreen() : display(XOpenDisplay(nullptr)) {}
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

// Sends a key to the window of that name once it is shown; false when none
// was shown in time. (xdotool may complain when the window goes at once.)
bool SendKeyWhenShown(TScreen& screen, const std::string& name, const std::string& key) {
  const std::string xdotool = *FindProgram("xdotool");
  for (int i = 0; i < 250; ++i) {
    if (screen.FindWindow(name)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      TChild({"/bin/sh", "-c",
              "w=$(" + xdotool + " search --onlyvisible --name '^" + name + "$' | head -1); " +
                  xdotool + " key --window \"$w\" " + key + " 2>/dev/null"})
          .Wait(std::chrono::seconds(10));
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
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
      std::this_thread::sleep_for(std::chrono::milliseconds(500));  // managing the screen
    }
  }
  void TearDown() override { wm_.Terminate(std::chrono::seconds(2)); }
  TChild wm_;
};

// An installation of the launcher and version 1 of the application, whose
// settings point at the local server.
struct TInstallation {
  TInstallation() : server(www.Path()), folder(base.File("My App")) {
    std::filesystem::create_directories(folder + "/Data/Sound");
    std::filesystem::create_directories(base.File("home"));
    std::filesystem::copy_file(KAVREL_LAUNCHER_PATH, folder + "/kavrel-launcher");
    std::filesystem::copy_file(KAVREL_SPLASH_PATH, folder + "/tolvan.bmp");
    std::filesystem::copy_file(KAVREL_TEST_APP1_PATH, folder + "/app.exe");
    std::filesystem::copy_file(KAVREL_TEST_APP2_PATH, www.File("app.exe_NEW"));
    WriteFile(
        folder + "/Data/Sound/QZ.au",
        launcher::ScrambleBytes("[Conf]\r\nAdd=" + server.Url("update.ini") + "\r\n", 5190347));
  }
  TChild Start() {
    return TChild({"/bin/sh", "-c",
                   "cd \"$0\" && exec env HOME=\"$1\" TMPDIR=\"$1\" KAVREL_TEST_RECORD=\"$2\" "
                   "./kavrel-launcher",
                   folder, base.File("home"), record.File("record")});
  }
  TTempDir www, base, record;
  THttpTestServer server;
  std::string folder;
};

TEST_F(LauncherWindowTest, ClosedDuringTheRunItEndsOnceTheRunHasUnwound) {
  TInstallation in;
  // A file that is not there (the box), then one that comes slowly.
  WriteFile(in.www.File("update.ini"),
            "[update]\r\nunconditional=1\r\n[files]\r\ncount=2\r\n[file1]\r\nurl=" +
                in.server.Url("missing.dat") + "\r\ndescr=Gone\r\n[file2]\r\nurl=" +
                in.server.Url("slow-100-4096/app.exe_NEW") + "\r\ndescr=Slow\r\n");
  TChild launcher = in.Start();
  TScreen screen;
  ASSERT_NE(screen.display, nullptr);
  ASSERT_TRUE(SendKeyWhenShown(screen, "Information", "Return")) << "the box for the missing file";
  // OK closed the window in the middle of the run; the program ends once the
  // run has unwound, with the status of a run that failed in part (1).
  EXPECT_EQ(launcher.Wait(std::chrono::seconds(20)), 1);
  EXPECT_TRUE(ReadFile(in.folder + "/app.exe_NEW"));
}

TEST_F(LauncherWindowTest, ShapedSplashIsDraggedAndUpdatesTheApplication) {
  TInstallation in;
  TTempDir& www = in.www;
  TTempDir& record = in.record;
  THttpTestServer& server = in.server;
  const std::string folder = in.folder;
  // The new program comes slowly, so that the window can be looked at and
  // dragged during its transfer.
  WriteFile(www.File("update.ini"),
            "[update]\r\nunconditional=1\r\n[application]\r\nappupdate=1\r\nappname=app.exe\r\n"
            "appparam=from the launcher\r\nappcomps=app.exe_NEW\r\n[files]\r\ncount=1\r\n"
            "[file1]\r\nurl=" +
                server.Url("slow-100-4096/app.exe_NEW") + "\r\ndescr=App 2\r\n");

  TChild launcher = in.Start();
  ASSERT_TRUE(launcher.Started());
  TScreen screen;
  ASSERT_NE(screen.display, nullptr);
  std::optional<std::pair<int, int>> at;
  for (int i = 0; i < 200 && !at; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    at = screen.FindWindow("Auto Update");
  }
  ASSERT_TRUE(at) << "no window";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // It has its button in the taskbar, which the toolkit would leave out for a
  // window without a border.
  const auto xprop = FindProgram("xprop");
  ASSERT_TRUE(xprop);
  EXPECT_EQ(TChild({"/bin/sh", "-c",
                    *xprop + " -name 'Auto Update' _NET_WM_STATE | grep -q SKIP_TASKBAR"})
                .Wait(std::chrono::seconds(10)),
            1);
  // Plain variables: a lambda below captures them, which structured bindings
  // cannot be everywhere.
  const int x = at->first, y = at->second;
  if (const auto import = FindProgram("import"))
    TChild({*import, "-window", "root", ::testing::TempDir() + "launcher-window.png"})
        .Wait(std::chrono::seconds(20));
  // See-through where the picture is olive (its corner), the picture elsewhere.
  EXPECT_EQ(screen.Pixel(x + 1, y + 1), screen.Pixel(2, 2)) << "the desktop behind it";
  EXPECT_NE(screen.Pixel(x + 1, y + 1), (TRgb{128, 128, 0}));
  EXPECT_EQ(screen.Pixel(x + 120, y + 60), PicturePixel(KAVREL_SPLASH_PATH, 120, 60));

  // Dragged by a press anywhere on the picture.
  const std::string xdotool = *FindProgram("xdotool");
  const auto move = [&](int dx, int dy) {
    return std::to_string(x + dx) + " " + std::to_string(y + dy);
  };
  TChild({"/bin/sh", "-c",
          xdotool + " mousemove " + move(200, 100) + " mousedown 1 sleep 0.1 mousemove " +
              move(230, 120) + " sleep 0.1 mousemove " + move(260, 140) + " sleep 0.1 mouseup 1"})
      .Wait(std::chrono::seconds(10));
  std::optional<std::pair<int, int>> moved;
  for (int i = 0; i < 100; ++i) {
    moved = screen.FindWindow("Auto Update");
    if (moved && *moved == std::make_pair(x + 60, y + 40)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(moved);
  EXPECT_EQ(*moved, std::make_pair(x + 60, y + 40));
  // Escape does not close the splash.
  ASSERT_TRUE(SendKeyWhenShown(screen, "Auto Update", "Escape"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(screen.FindWindow("Auto Update")) << "still shown after Escape";

  EXPECT_EQ(launcher.Wait(std::chrono::seconds(30)), 0) << "closed by the handoff";
  const auto runs = WaitForFileLines(record.File("record"), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(TabFields(runs[0]),
            (std::vector<std::string>{"2", TabFields(runs[0])[1], folder, "from the launcher"}));
}

}  // namespace
}  // namespace kavrel::test
