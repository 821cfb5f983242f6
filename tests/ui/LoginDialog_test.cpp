// The login dialog on a real X server: typed into with xdotool, closed by
// keys and by a window-manager close request, looked at in a screenshot.
#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "FltkUserInterface.h"
#include "KvLogin.h"
#include "LoginForm.h"
#include "XSession.h"

namespace kavrel::test {
namespace {

using platform::TLoginForm;

// Catches what a paste delivers.
class TPasteCatcher : public Fl_Widget {
 public:
  TPasteCatcher() : Fl_Widget(0, 0, 1, 1) {}
  int handle(int event) override {
    if (event != FL_PASTE) return 0;
    text.assign(Fl::event_text(), static_cast<std::size_t>(Fl::event_length()));
    received = true;
    return 1;
  }
  void draw() override {}
  std::string text;
  bool received = false;
};

class LoginDialogTest : public TXKeyboardTest {
 protected:
  void SetUp() override {
    TXKeyboardTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    previous_ = platform::SetUserInterface(std::make_shared<platform::TFltkUserInterface>());
    installed_ = true;
  }
  void TearDown() override {
    if (installed_) platform::SetUserInterface(previous_);
  }

  static TLoginForm* Form() { return FindShownWindow<TLoginForm>(); }
  static bool FocusIs(const Fl_Widget& widget) {
    return Form() != nullptr && Fl::focus() == &widget;
  }

  // Runs the dialog through the engine's entry point with the driver's steps.
  bool Show(TDialogDriver& driver, const std::string& caption) {
    driver.Start();
    const bool confirmed = ShowLoginDialog(caption, user_, password_);
    EXPECT_FALSE(driver.TimedOut()) << driver.StepsLeft() << " steps had not run";
    return confirmed;
  }

  std::string user_ = "user before";
  std::string password_ = "password before";

 private:
  std::shared_ptr<platform::IUserInterface> previous_;
  bool installed_ = false;
};

TEST_F(LoginDialogTest, EnterConfirmsWithTheTextsAsTypedAndThePasswordShowsAsterisks) {
  const std::string caption = "Connect to updates.example";
  const std::string typedPassword = "p\xC3\xA4 ss*";  // "pä ss*": six characters, seven bytes
  bool startedEmpty = false;
  bool screenshot = false;
  std::string shownCaption;
  TDialogDriver driver;
  driver
      .Then(
          [&] {
            startedEmpty = Form()->Edit1.size() == 0 && Form()->Edit2.size() == 0;
            shownCaption = Form()->label();
          },
          [] { return Form() != nullptr; })
      .FocusAndKeys(caption, Text(" alice ") + TKeys{"Tab"} + Text(typedPassword))
      .Then(
          [&] { screenshot = SaveScreenshot(*Form(), "login-dialog.png"); },
          [&] { return Form() && Form()->Edit2.size() == static_cast<int>(typedPassword.size()); })
      .Keys({"Return"});

  EXPECT_TRUE(Show(driver, caption));
  EXPECT_TRUE(startedEmpty) << "the boxes must not show the values passed in";
  EXPECT_EQ(shownCaption, caption);
  EXPECT_EQ(user_, " alice ") << "taken as typed, blanks included";
  EXPECT_EQ(password_, typedPassword);
  EXPECT_TRUE(screenshot) << "no screenshot login-dialog.png";
}

TEST_F(LoginDialogTest, EnterOnEmptyBoxesConfirmsTwoEmptyTexts) {
  const std::string caption = "Connect to empty.example";
  TDialogDriver driver;
  driver.FocusAndKeys(caption, {"Return"});
  EXPECT_TRUE(Show(driver, caption));
  EXPECT_EQ(user_, "");
  EXPECT_EQ(password_, "");
}

TEST_F(LoginDialogTest, EscapeAndTheCloseBoxCancelAndLeaveTheValues) {
  {
    const std::string caption = "Connect to escape.example";
    TDialogDriver driver;
    driver.FocusAndKeys(caption, Text("bob") + TKeys{"Tab"} + Text("secret") + TKeys{"Escape"});
    EXPECT_FALSE(Show(driver, caption));
  }
  {
    const std::string caption = "Connect to closebox.example";
    TDialogDriver driver;
    driver.FocusAndKeys(caption, Text("bob"))
        .Then([] { SendCloseRequest(*Form()); },
              [] { return Form() && std::strcmp(Form()->Edit1.value(), "bob") == 0; });
    EXPECT_FALSE(Show(driver, caption));
  }
  EXPECT_EQ(user_, "user before");
  EXPECT_EQ(password_, "password before");
}

TEST_F(LoginDialogTest, AccessKeysFocusTheirBoxes) {
  // Alt+P moves to the password box; Alt+U back to the user name, whose text
  // is then selected, so that typing replaces it.
  const std::string caption = "Connect to keys.example";
  TDialogDriver driver;
  driver.FocusAndKeys(caption, Text("bob") + TKeys{"alt+p"} + Text("pw") + TKeys{"alt+u"} +
                                   Text("carol") + TKeys{"Return"});
  EXPECT_TRUE(Show(driver, caption));
  EXPECT_EQ(user_, "carol");
  EXPECT_EQ(password_, "pw");
}

TEST_F(LoginDialogTest, TabGoesThroughBothBoxesThenOkThenCancelAndEnterPressesCancel) {
  const std::string caption = "Connect to tabs.example";
  TDialogDriver driver;
  driver.FocusAndKeys(caption, Text("bob"))
      .Keys({"Tab"}, [] { return Form() && FocusIs(Form()->Edit1) && Form()->Edit1.size() == 3; })
      .Keys({"Tab"}, [] { return FocusIs(Form()->Edit2); })
      .Keys({"Tab"}, [] { return FocusIs(Form()->Button1); })
      .Keys({"Return"}, [] { return FocusIs(Form()->Button2); });
  EXPECT_FALSE(Show(driver, caption)) << "Enter on the focused Cancel button cancels";
  EXPECT_EQ(user_, "user before");
}

TEST_F(LoginDialogTest, ThePasswordNeverReachesTheClipboard) {
  // The user name, copied as any text is, can be pasted; the password, copied
  // and cut after it, cannot.
  const std::string caption = "Connect to clipboard.example";
  TPasteCatcher userName;
  TDialogDriver driver;
  driver.FocusAndKeys(caption, Text("bob") + TKeys{"shift+Home", "ctrl+c"})
      .Keys(TKeys{"Tab"} + Text("secret") + TKeys{"shift+Home", "ctrl+c", "ctrl+Insert", "ctrl+x"} +
                Text("fresh") + TKeys{"Return"},
            [&] {
              // Pasted until the copy has arrived.
              if (driver.KeysDone()) Fl::paste(userName, 1);
              return userName.text == "bob";
            });
  EXPECT_TRUE(Show(driver, caption));
  EXPECT_EQ(userName.text, "bob");
  EXPECT_EQ(user_, "bob");
  EXPECT_EQ(password_, "fresh") << "cutting removes the selected text";

  TPasteCatcher catcher;
  Fl::paste(catcher, 1);
  EXPECT_TRUE(PumpUntil([&] { return catcher.received; }, std::chrono::seconds(5)))
      << "no paste arrived";
  EXPECT_EQ(catcher.text.find("secret"), std::string::npos) << catcher.text;
}

}  // namespace
}  // namespace kavrel::test
