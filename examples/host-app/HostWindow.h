// The host application's window, one implementation per window system:
// HostWindowFltk.cpp (X11) and HostWindowWin32.cpp (Windows).
//
// The update engine runs on the window's thread, between its messages: each of
// these calls lets the window system handle what is pending before it returns,
// so that the window keeps drawing and a close is noticed while the engine
// works.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class HostWindow {
 public:
  virtual ~HostWindow() = default;

  // The status line.
  virtual void ShowStatus(const std::string& text) = 0;
  // The progress bar: the file being fetched, its bytes so far and its size
  // (0 when unknown).
  virtual void ShowProgress(const std::string& file, std::int64_t position, std::int64_t size) = 0;
  // Shows "Update available" with the caption and text of what is new and the
  // "Update now" button, and waits: true when the button is pressed, false
  // when the window is closed first.
  virtual bool OfferUpdate(const std::string& caption, const std::string& text) = 0;
  // A box with OK (question false) or a question; true for OK or Yes.
  virtual bool Ask(const std::string& caption, const std::string& text, bool question) = 0;
  // Whether the user has closed the window.
  virtual bool Closed() = 0;
  // Keeps the window open and working until the user closes it.
  virtual void Run() = 0;
};

// Opens the window with its title.
std::unique_ptr<HostWindow> OpenHostWindow(const std::string& title);
