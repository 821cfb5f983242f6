#include "XSession.h"

#include <FL/fl_draw.H>
#include <FL/x.H>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace kavrel::test {

namespace {

// Starts a program with the standard output thrown away (and the error output
// too when quiet); -1 when it could not be started. descriptor3, when not
// negative, is passed on as descriptor 3. The program is ended when the test
// process ends, however that happens, so that no X server outlives a crash.
pid_t Spawn(const std::vector<std::string>& args, int descriptor3, bool quiet) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // The child: only calls that are safe between fork and exec.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  if (quiet) dup2(null, 2);
  if (descriptor3 == 3)
    fcntl(3, F_SETFD, 0);
  else if (descriptor3 >= 0)
    dup2(descriptor3, 3);
  execv(argv[0], argv.data());
  _exit(127);
}

}  // namespace

TKeys operator+(TKeys first, const TKeys& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TKeys Text(std::string_view text) {
  TKeys keys;
  for (std::size_t i = 0; i < text.size();) {
    // One UTF-8 sequence to its code point.
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    unsigned long code = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (int k = 1; k < length && i + k < text.size(); ++k)
      code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += static_cast<std::size_t>(length);
    // Latin-1 characters are keysyms of the same number; the rest have
    // Unicode keysym names.
    const char* name = code >= 0x20 && code <= 0xFF ? XKeysymToString(code) : nullptr;
    char unicode[16];
    std::snprintf(unicode, sizeof unicode, "U%04lX", code);
    keys.push_back(name != nullptr ? name : unicode);
  }
  return keys;
}

std::optional<std::string> FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) continue;
    const std::string candidate = folder + "/" + name;
    struct stat info {};
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return std::nullopt;
}

// ---- TChild ----

TChild::TChild(const std::vector<std::string>& args, int descriptor3, bool quiet)
    : pid_(Spawn(args, descriptor3, quiet)) {}

TChild::TChild(TChild&& other) noexcept
    : pid_(other.pid_), exitCode_(other.exitCode_), reaped_(other.reaped_) {
  other.pid_ = -1;
}

TChild& TChild::operator=(TChild&& other) noexcept {
  if (this != &other) {
    if (Started()) Wait(std::chrono::milliseconds(0));
    pid_ = other.pid_;
    exitCode_ = other.exitCode_;
    reaped_ = other.reaped_;
    other.pid_ = -1;
  }
  return *this;
}

TChild::~TChild() {
  if (Started()) Wait(std::chrono::milliseconds(0));
}

bool TChild::Ended() {
  if (!Started() || reaped_) return true;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
  reaped_ = true;
  if (WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
  return true;
}

std::optional<int> TChild::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!Ended()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      reaped_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return exitCode_;
}

void TChild::Terminate(std::chrono::milliseconds timeout) {
  if (Started() && !Ended()) kill(pid_, SIGTERM);
  Wait(timeout);
}

// ---- TXServer ----

TXServer& TXServer::Shared() {
  static TXServer server;
  return server;
}

TXServer::TXServer() {
  const std::optional<std::string> xvfb = FindProgram("Xvfb");
  if (!xvfb) {
    failure_ = "Xvfb is not installed";
    return;
  }
  // Xvfb picks a free display number itself and writes it to descriptor 3
  // once it accepts connections.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    failure_ = "no pipe for Xvfb";
    return;
  }
  server_ = TChild(
      {*xvfb, "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
      fds[1], true);
  close(fds[1]);
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char c = 0;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
    server_.Wait(std::chrono::milliseconds(0));
    failure_ = "Xvfb did not report a display within 15 seconds";
    return;
  }
  display_ = ":" + number;
  setenv("DISPLAY", display_.c_str(), 1);
}

TXServer::~TXServer() {
  // Asked to end, so that it removes its socket and lock file.
  server_.Terminate(std::chrono::seconds(5));
}

// ---- TDialogDriver ----

TDialogDriver::TDialogDriver(std::chrono::milliseconds deadline) : deadline_(deadline) {}

TDialogDriver::~TDialogDriver() {
  Fl::remove_timeout(Poll, this);
  Fl::remove_timeout(Expire, this);
  for (TChild& child : children_) child.Wait(std::chrono::seconds(2));
}

TDialogDriver& TDialogDriver::Then(std::function<void()> action, std::function<bool()> ready) {
  steps_.push_back({std::move(ready), std::move(action)});
  return *this;
}

void TDialogDriver::StartXdotool(std::vector<std::string> args) {
  args.insert(args.begin(), FindProgram("xdotool").value_or("xdotool"));
  children_.emplace_back(args);
}

TDialogDriver& TDialogDriver::Keys(TKeys keys, std::function<bool()> ready) {
  return Then(
      [this, keys = std::move(keys)] {
        StartXdotool(TKeys{"key", "--delay", "20"} + keys);
      },
      std::move(ready));
}

TDialogDriver& TDialogDriver::FocusAndKeys(const std::string& title, TKeys keys) {
  // "key" takes every argument after it, so it comes last.
  TKeys args{"search",          "--sync",      "--onlyvisible", "--name",
             "^" + title + "$", "windowfocus", "--sync",        "%1"};
  if (!keys.empty()) args = args + TKeys{"key", "--delay", "20"} + keys;
  return Then([this, args = std::move(args)] { StartXdotool(args); });
}

bool TDialogDriver::KeysDone() {
  for (TChild& child : children_)
    if (!child.Ended()) return false;
  return true;
}

void TDialogDriver::Start() {
  started_ = true;
  Fl::add_timeout(0.0, Poll, this);
  Fl::add_timeout(std::chrono::duration<double>(deadline_).count(), Expire, this);
}

void TDialogDriver::Poll(void* self) {
  auto& driver = *static_cast<TDialogDriver*>(self);
  while (driver.next_ < driver.steps_.size()) {
    TStep& step = driver.steps_[driver.next_];
    if (step.Ready && !step.Ready()) break;
    ++driver.next_;
    step.Action();
  }
  if (driver.next_ < driver.steps_.size()) Fl::repeat_timeout(0.02, Poll, self);
}

void TDialogDriver::Expire(void* self) {
  static_cast<TDialogDriver*>(self)->timedOut_ = true;
  Fl::remove_timeout(Poll, self);
  while (Fl_Window* window = Fl::first_window()) window->hide();
}

// ---- Fixtures ----

void TXDisplayTest::SetUp() {
  if (!FindProgram("Xvfb"))
    GTEST_SKIP() << "Xvfb is not installed: the window-system tests need an X server of their own";
  ASSERT_TRUE(TXServer::Shared().Running()) << TXServer::Shared().Failure();
}

void TXKeyboardTest::SetUp() {
  TXDisplayTest::SetUp();
  if (IsSkipped() || HasFatalFailure()) return;
  if (!FindProgram("xdotool"))
    GTEST_SKIP() << "xdotool is not installed: the dialog tests type with it";
}

// ---- X requests ----

bool ShowAndWaitUntilDrawn(Fl_Window& window) {
  window.show();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    Fl::wait(0.02);
    XWindowAttributes attributes{};
    if (fl_xid(&window) != 0 && XGetWindowAttributes(fl_display, fl_xid(&window), &attributes) &&
        attributes.map_state == IsViewable) {
      // Drawn now, whatever exposure events are still on their way.
      for (int i = 0; i < 5; ++i) Fl::wait(0.02);
      window.redraw();
      Fl::flush();
      XSync(fl_display, False);
      return true;
    }
  }
  return false;
}

void SendCloseRequest(Fl_Window& window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = fl_xid(&window);
  event.xclient.message_type = XInternAtom(fl_display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(fl_display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(fl_display, fl_xid(&window), False, NoEventMask, &event);
  XFlush(fl_display);
}

unsigned TopLevelWindowCount() {
  Display* display = XOpenDisplay(TXServer::Shared().DisplayName().c_str());
  if (display == nullptr) return 0;
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0)
    count = 0;
  if (children != nullptr) XFree(children);
  XCloseDisplay(display);
  return count;
}

std::string WindowId(Fl_Window& window) {
  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(fl_xid(&window)));
  return id;
}

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Fl::wait(0.02);
  }
  return true;
}

std::vector<unsigned char> ReadPixels(Fl_Window& window, int x, int y, int w, int h) {
  std::vector<unsigned char> pixels(static_cast<std::size_t>(w * h * 3));
  window.make_current();
  fl_read_image(pixels.data(), x, y, w, h);
  return pixels;
}

bool SaveScreenshot(Fl_Window& window, const std::string& path) {
  const std::optional<std::string> import = FindProgram("import");
  if (!import) return false;
  Fl::flush();
  XSync(fl_display, False);
  std::remove(path.c_str());
  TChild shot({*import, "-window", WindowId(window), path});
  if (shot.Wait(std::chrono::seconds(20)) != 0) return false;
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && info.st_size > 0;
}

}  // namespace kavrel::test
