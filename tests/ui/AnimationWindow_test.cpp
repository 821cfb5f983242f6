// The animation window shown while the patch utility runs, on a real X server.
#include <gtest/gtest.h>

#include "AnimationForm.h"
#include "FltkUserInterface.h"
#include "XSession.h"

namespace kavrel::test {
namespace {

class AnimationWindowTest : public TXDisplayTest {};

TEST_F(AnimationWindowTest, ShowsItsCaptionAnAnimationThatMovesAndTheMessage) {
  platform::TFltkUserInterface ui;
  auto window = ui.ShowAnimation("Applying the update", "Please wait while app.exe is patched.");
  ASSERT_NE(window, nullptr);
  auto* form = FindShownWindow<platform::TAnimationForm>();
  ASSERT_NE(form, nullptr);
  EXPECT_STREQ(form->label(), "Applying the update");
  EXPECT_EQ(form->w(), 300);
  EXPECT_EQ(form->h(), 170);
  EXPECT_EQ(form->x(), (Fl::w() - 300) / 2);
  EXPECT_EQ(form->Message.Text(), "Please wait while app.exe is patched.");
  EXPECT_EQ(form->Message.y(), form->Animation.y() + form->Animation.h() + 8);
  // Drawn by Advance alone, as while a program runs: no event is handled.
  ASSERT_TRUE(PumpUntil([&] { return form->visible() != 0; }));
  std::vector<std::vector<unsigned char>> pictures;
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 3; ++k) window->Advance();
    pictures.push_back(ReadPixels(*form, 10, 10, 272, 60));
  }
  EXPECT_NE(pictures[0], pictures[1]);
  EXPECT_NE(pictures[1], pictures[2]);
  EXPECT_TRUE(SaveScreenshot(*form, "animation-window.png"));
  window.reset();
  EXPECT_EQ(FindShownWindow<platform::TAnimationForm>(), nullptr);
}

}  // namespace
}  // namespace kavrel::test
