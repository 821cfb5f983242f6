// Message boxes on a real X server: every way of answering each kind of box.
#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FltkUserInterface.h"
#include "MessageBoxForm.h"
#include "XDisplay.h"
#include "XSession.h"

namespace kavrel::test {
namespace {

using platform::TModalResult;
using platform::TMsgButtons;
using platform::TMsgKind;

const char* Name(TModalResult r) {
  switch (r) {
    case TModalResult::None:
      return "None";
    case TModalResult::Ok:
      return "Ok";
    case TModalResult::Cancel:
      return "Cancel";
    case TModalResult::Yes:
      return "Yes";
    case TModalResult::No:
      return "No";
  }
  return "?";
}

struct TAnswerCase {
  TMsgButtons Buttons;
  std::vector<std::string> Keys;  // empty: the close box
  TModalResult Expected;
};

class MessageBoxTest : public TXKeyboardTest {};

TEST_F(MessageBoxTest, EachWayOfAnsweringGivesItsResult) {
  const std::vector<TAnswerCase> cases = {
      {TMsgButtons::YesNo, {"Return"}, TModalResult::Yes},
      {TMsgButtons::YesNo, {"y"}, TModalResult::Yes},
      {TMsgButtons::YesNo, {"n"}, TModalResult::No},
      {TMsgButtons::YesNo, {"Tab", "Return"}, TModalResult::No},
      {TMsgButtons::YesNo, {"Escape"}, TModalResult::None},
      {TMsgButtons::YesNo, {}, TModalResult::None},
      {TMsgButtons::OkCancel, {"Return"}, TModalResult::Ok},
      {TMsgButtons::OkCancel, {"Tab", "Return"}, TModalResult::Cancel},
      {TMsgButtons::OkCancel, {"Escape"}, TModalResult::Cancel},
      {TMsgButtons::OkCancel, {}, TModalResult::Cancel},
      {TMsgButtons::Ok, {"Return"}, TModalResult::Ok},
      {TMsgButtons::Ok, {"Escape"}, TModalResult::Cancel},
      {TMsgButtons::Ok, {}, TModalResult::Cancel},
  };
  platform::TFltkUserInterface ui;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TAnswerCase& c = cases[i];
    const std::string caption = "Question " + std::to_string(i);
    TDialogDriver driver;
    driver.FocusAndKeys(caption, c.Keys);
    if (c.Keys.empty())
      driver.Then([] { SendCloseRequest(*FindShownWindow<platform::TMessageBoxForm>()); },
                  [&driver] { return driver.KeysDone(); });
    driver.Start();
    const TModalResult result =
        ui.MessageBox("Install the update now?", caption, TMsgKind::Confirmation, c.Buttons);
    EXPECT_FALSE(driver.TimedOut()) << caption;
    EXPECT_STREQ(Name(result), Name(c.Expected))
        << caption << ": " << (c.Keys.empty() ? "close box" : c.Keys.back());
  }
}

TEST_F(MessageBoxTest, TextIsShownAsItIsWithCarriageReturnsAsLineBreaks) {
  platform::TFltkUserInterface ui;
  std::string shownText;
  std::string shownCaption;
  TDialogDriver driver;
  driver.Then(
      [&] {
        auto* box = FindShownWindow<platform::TMessageBoxForm>();
        shownText = box->Message.Text();
        shownCaption = box->label();
        box->DefaultButton.do_callback();
      },
      [] { return FindShownWindow<platform::TMessageBoxForm>() != nullptr; });
  driver.Start();
  EXPECT_EQ(ui.MessageBox("Tom & Jerry\rsupport@example.org\r\nend", "Notes", TMsgKind::Information,
                          TMsgButtons::Ok),
            TModalResult::Ok);
  EXPECT_FALSE(driver.TimedOut());
  EXPECT_EQ(shownText, "Tom & Jerry\nsupport@example.org\nend");
  EXPECT_EQ(shownCaption, "Notes");
}

class MessageTextTest : public TXDisplayTest {};

TEST_F(MessageTextTest, BoxGrowsWithItsLinesAndWrapsLongOnes) {
  platform::TMessageBoxForm one("one line", "", TMsgKind::Information, TMsgButtons::Ok);
  platform::TMessageBoxForm four("1\r2\r3\r4", "", TMsgKind::Information, TMsgButtons::Ok);
  std::string words;
  for (int i = 0; i < 60; ++i) words += "word ";
  platform::TMessageBoxForm longLine(words, "", TMsgKind::Information, TMsgButtons::Ok);
  EXPECT_GT(four.Message.h(), one.Message.h());
  EXPECT_GT(four.h(), one.h());
  EXPECT_LE(longLine.Message.w(), 420) << "long lines wrap";
  EXPECT_GT(longLine.Message.h(), one.Message.h());
  // The buttons sit below the text, inside the box.
  EXPECT_GE(four.DefaultButton.y(), four.Message.y() + four.Message.h());
  EXPECT_LE(four.DefaultButton.y() + four.DefaultButton.h(), four.h());
}

TEST_F(MessageTextTest, ATextTallerThanTheScreenScrollsAndTheButtonsStayOnIt) {
  std::string lines;
  for (int i = 1; i <= 60; ++i) lines += "Line " + std::to_string(i) + "\r";
  platform::TMessageBoxForm tall(lines, "", TMsgKind::Information, TMsgButtons::YesNo);
  EXPECT_LE(tall.h(), Fl::h());
  EXPECT_LE(tall.DefaultButton.y() + tall.DefaultButton.h(), tall.h());
  EXPECT_GT(tall.Message.h(), tall.TextArea.h()) << "the text scrolls";
  platform::TMessageBoxForm one("one line", "", TMsgKind::Information, TMsgButtons::Ok);
  EXPECT_EQ(one.Message.h(), one.TextArea.h()) << "a short text does not";
}

TEST(NormalizeLineBreaks, EveryKindOfLineEndBecomesOneLineFeed) {
  EXPECT_EQ(platform::NormalizeLineBreaks("a\rb\r\nc\nd\r\r\ne\r"), "a\nb\nc\nd\n\ne\n");
  EXPECT_EQ(platform::NormalizeLineBreaks(""), "");
  EXPECT_EQ(platform::NormalizeLineBreaks("\n\r"), "\n\n");
}

TEST(DisplayAvailable, FalseWithoutADisplayOrWithOneNobodyServes) {
  const char* before = std::getenv("DISPLAY");
  const std::string saved = before != nullptr ? before : "";
  unsetenv("DISPLAY");
  EXPECT_FALSE(platform::TFltkUserInterface::DisplayAvailable());
  setenv("DISPLAY", ":4093", 1);
  EXPECT_FALSE(platform::TFltkUserInterface::DisplayAvailable());
  if (before != nullptr)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

TEST(ProcessMessages, ReturnsBeforeAnyWindowHasBeenShown) {
  // The test runs in a process of its own under ctest: no X connection yet.
  if (platform::ToolkitConnected())
    GTEST_SKIP() << "an earlier test in this process has shown windows";
  // Where an X server is at hand, nothing of this process appears on it.
  const bool server = FindProgram("Xvfb").has_value();
  if (server) {
    ASSERT_TRUE(TXServer::Shared().Running()) << TXServer::Shared().Failure();
  }
  const unsigned windowsBefore = server ? TopLevelWindowCount() : 0;
  platform::TFltkUserInterface ui;
  const auto start = std::chrono::steady_clock::now();
  ui.ProcessMessages();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  if (server) {
    EXPECT_EQ(TopLevelWindowCount(), windowsBefore);
  }
}

class DisplayAvailableTest : public TXDisplayTest {};

TEST_F(DisplayAvailableTest, TrueOnARunningServer) {
  EXPECT_TRUE(platform::TFltkUserInterface::DisplayAvailable()) << TXServer::Shared().DisplayName();
}

}  // namespace
}  // namespace kavrel::test
