// The password box: what it draws, where clicks put its cursor, and the
// character arithmetic behind that. The login form's banner and access keys.
#include "MaskedInput.h"

#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoginForm.h"
#include "XSession.h"

namespace kavrel::test {
namespace {

using platform::TMaskedInput;

TEST(MaskedInputText, CountsCharactersNotBytes) {
  const std::string text =
      "a\xC3\xA4"
      "b\xE2\x82\xAC";  // "aäb€": 4 characters, 7 bytes
  EXPECT_EQ(platform::CharactersBefore(text, 0), 0);
  EXPECT_EQ(platform::CharactersBefore(text, 1), 1);
  EXPECT_EQ(platform::CharactersBefore(text, 3), 2);
  EXPECT_EQ(platform::CharactersBefore(text, 2), 2) << "inside a character counts it";
  EXPECT_EQ(platform::CharactersBefore(text, 7), 4);
  EXPECT_EQ(platform::CharactersBefore(text, 99), 4);
  EXPECT_EQ(platform::ByteOffsetOf(text, 0), 0);
  EXPECT_EQ(platform::ByteOffsetOf(text, 2), 3);
  EXPECT_EQ(platform::ByteOffsetOf(text, 3), 4);
  EXPECT_EQ(platform::ByteOffsetOf(text, 4), 7);
  EXPECT_EQ(platform::ByteOffsetOf(text, 9), 7);
  for (int c = 0; c <= 4; ++c)
    EXPECT_EQ(platform::CharactersBefore(text, platform::ByteOffsetOf(text, c)), c);
}

class MaskedInputTest : public TXDisplayTest {};

std::vector<unsigned char> Pixels(Fl_Window& window, const Fl_Widget& widget) {
  return ReadPixels(window, widget.x(), widget.y(), widget.w(), widget.h());
}

TEST_F(MaskedInputTest, DrawsExactlyWhatAPlainBoxShowingAsterisksDraws) {
  const std::string secret = "p\xC3\xA4 ss";  // "pä ss": five characters
  Fl_Window window(220, 110);
  TMaskedInput masked(10, 10, 193, 21);
  Fl_Input asterisks(10, 45, 193, 21);
  Fl_Input plain(10, 80, 193, 21);
  window.end();
  masked.value(secret.c_str());
  asterisks.value("*****");
  plain.value(secret.c_str());
  ASSERT_TRUE(ShowAndWaitUntilDrawn(window));
  Fl::focus(nullptr);  // no cursor in any of them
  window.redraw();
  Fl::flush();

  const auto shown = Pixels(window, masked);
  EXPECT_EQ(shown, Pixels(window, asterisks));
  EXPECT_NE(shown, Pixels(window, plain)) << "the comparison must be able to tell text apart";
  EXPECT_EQ(std::string(masked.value()), secret) << "drawing leaves the text as it was";
  window.hide();
}

class MaskedInputMouseTest : public TXKeyboardTest {};

TEST_F(MaskedInputMouseTest, ClicksPlaceTheCursorBetweenWholeCharacters) {
  // Four two-byte characters: the mask has four asterisks, the text 8 bytes.
  const std::string text = "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4";
  Fl_Window window(220, 50);
  TMaskedInput masked(10, 10, 193, 21);
  window.end();
  masked.value(text.c_str());
  ASSERT_TRUE(ShowAndWaitUntilDrawn(window));
  const std::string id = WindowId(window);
  const std::string xdotool = FindProgram("xdotool").value_or("xdotool");

  // A click right of the text puts the cursor at its end; a click at its left
  // edge before the first character.
  TChild right({xdotool, "windowfocus", "--sync", id, "mousemove", "--window", id, "--sync", "190",
                "20", "click", "1", "key", "x"});
  EXPECT_TRUE(PumpUntil([&] { return masked.size() == 9; })) << "nothing typed after the click";
  EXPECT_EQ(std::string(masked.value()), text + "x");
  TChild left(
      {xdotool, "mousemove", "--window", id, "--sync", "13", "20", "click", "1", "key", "y"});
  EXPECT_TRUE(PumpUntil([&] { return masked.size() == 10; })) << "nothing typed after the click";
  EXPECT_EQ(std::string(masked.value()), "y" + text + "x");
  window.hide();
}

TEST(LoginForm, TheBannerBuiltIntoTheProgramFillsThePictureControl) {
  platform::TLoginForm form;
  ASSERT_NE(form.Image1.image(), nullptr) << "the embedded banner was not read";
  EXPECT_EQ(form.Image1.image()->w(), 320);
  EXPECT_EQ(form.Image1.image()->h(), 60);
  EXPECT_EQ(form.Image1.w(), 320);
  EXPECT_EQ(form.Image1.h(), 60);
}

TEST(AccessKeyOf, FindsTheLetterAfterASingleAmpersand) {
  EXPECT_EQ(platform::AccessKeyOf("&User name: "), 'u');
  EXPECT_EQ(platform::AccessKeyOf("Tom && &Jerry"), 'j');
  EXPECT_EQ(platform::AccessKeyOf("Tom && Jerry"), 0);
  EXPECT_EQ(platform::AccessKeyOf("OK"), 0);
  EXPECT_EQ(platform::AccessKeyOf("trailing&"), 0);
  EXPECT_EQ(platform::AccessKeyOf(""), 0);
}

}  // namespace
}  // namespace kavrel::test
