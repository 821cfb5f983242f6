// The launcher's splash window: borderless, the shape of its picture (every
// olive pixel is see-through), a progress bar, dragged by a press anywhere.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Check_Browser.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Progress.H>

#include <memory>

#include "Unit3.h"

namespace kavrel::launcher {

// A picture drawn at its natural size from the box's top left corner, clipped
// by the box.
class TPictureBox final : public Fl_Box {
 public:
  using Fl_Box::Fl_Box;
  void draw() override;
};

class TSplashWindow final : public Fl_Double_Window, public TForm3View {
 public:
  static constexpr int kWidth = 473;
  static constexpr int kHeight = 241;

  // Centred on the desktop; the display must be open.
  TSplashWindow();

  void LoadPicture(const std::string& path) override;
  void ShowProgress(int maximum, int position) override;
  void Close() override { hide(); }

  // Shows the window and gives it its shape, which the window system forgets
  // whenever the toolkit makes the window anew.
  void show() override;
  void ShowInTaskbar();
  int handle(int event) override;

 private:
  void ApplyShape();

  Fl_Check_Browser checkListBox1_;
  TPictureBox image1_;
  Fl_Box label2_;
  Fl_Progress progressBar1_;
  std::unique_ptr<Fl_RGB_Image> picture_;
  int grabX_ = 0;
  int grabY_ = 0;
};

}  // namespace kavrel::launcher
