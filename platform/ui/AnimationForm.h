// The window shown while the patch utility runs: 300 x 170, centred on the
// screen, the caption as its title, an animation of a sheet of paper
// travelling from one folder to another, and the message below it.
//
// While the program runs no window event is handled, as with any waiting
// program on this desktop; the window draws itself on each Advance.
#pragma once

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Widget.H>

#include <string_view>

#include "MessageBoxForm.h"
#include "UserInterface.h"

namespace kavrel::platform {

// Two folders and a sheet between them; Frame() picks where the sheet is.
class TCopyAnimation : public Fl_Widget {
 public:
  static constexpr int kFrames = 16;
  TCopyAnimation(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
  void SetFrame(int frame) { frame_ = frame % kFrames; }
  int Frame() const { return frame_; }

 protected:
  void draw() override;

 private:
  int frame_ = 0;
};

class TAnimationForm : public Fl_Double_Window, public IAnimationWindow {
 public:
  TAnimationForm(std::string_view caption, std::string_view message);
  ~TAnimationForm() override;

  // Moves the animation on by one picture and draws the window.
  void Advance() override;

  TCopyAnimation Animation;
  TMessageText Message;
};

}  // namespace kavrel::platform
