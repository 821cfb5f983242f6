#include "AnimationForm.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cmath>
#include <string>

#include "DialogControls.h"

namespace kavrel::platform {

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 170;
constexpr int kAnimationWidth = 272;  // the size of the classic copy animation
constexpr int kAnimationHeight = 60;

void DrawFolder(int x, int y) {
  fl_color(fl_rgb_color(0xE8, 0xC0, 0x50));
  fl_rectf(x, y + 6, 44, 30);
  fl_rectf(x, y, 18, 8);
  fl_color(fl_rgb_color(0x90, 0x70, 0x20));
  fl_rect(x, y + 6, 44, 30);
}

}  // namespace

void TCopyAnimation::draw() {
  fl_push_clip(x(), y(), w(), h());
  fl_color(FL_BACKGROUND_COLOR);
  fl_rectf(x(), y(), w(), h());
  const int folderTop = y() + h() - 38;
  DrawFolder(x() + 8, folderTop);
  DrawFolder(x() + w() - 52, folderTop);
  // The sheet rises out of the left folder and falls into the right one.
  const double t = static_cast<double>(frame_) / (kFrames - 1);
  const int startX = x() + 20, endX = x() + w() - 40;
  const int sheetX = startX + static_cast<int>((endX - startX) * t);
  const int sheetY = folderTop - 4 - static_cast<int>(std::sin(t * 3.14159265) * (h() - 46));
  fl_color(FL_WHITE);
  fl_rectf(sheetX, sheetY, 16, 20);
  fl_color(FL_DARK3);
  fl_rect(sheetX, sheetY, 16, 20);
  for (int line = 0; line < 3; ++line) fl_xyline(sheetX + 3, sheetY + 5 + line * 5, sheetX + 12);
  fl_pop_clip();
}

TAnimationForm::TAnimationForm(std::string_view caption, std::string_view message)
    : Fl_Double_Window(kWidth, kHeight),
      Animation(10, 10, kAnimationWidth, kAnimationHeight),
      Message(10, 10 + kAnimationHeight + 8, kWidth - 20, kHeight - kAnimationHeight - 26) {
  end();
  copy_label(std::string(caption).c_str());
  Message.SetText(NormalizeLineBreaks(message));
  // It only shows progress: the close box does nothing while the program runs.
  callback([](Fl_Widget*, void*) {});
  CenterOnScreen(*this);
  show();
  // The toolkit draws a new window only after its first exposure event, and
  // none will be handled once the program runs: wait for that one first.
  wait_for_expose();
  Advance();
}

TAnimationForm::~TAnimationForm() {
  hide();
  Fl::flush();
}

void TAnimationForm::Advance() {
  Animation.SetFrame(Animation.Frame() + 1);
  // Everything is drawn again: no exposure event is handled while waiting.
  redraw();
  Fl::flush();
}

}  // namespace kavrel::platform
