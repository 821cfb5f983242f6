// The engine's login entry point: what reaches the user interface and what
// comes back, whichever interface is in force.
#include "KvLogin.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "ScriptedUserInterface.h"
#include "UserInterface.h"

namespace kavrel {
namespace {

// A user interface that scribbles on the values it is given and then says the
// dialog was cancelled.
class TScribblingInterface : public platform::TScriptedUserInterface {
 public:
  TScribblingInterface(std::ostream& out) : TScriptedUserInterface({}, out) {}
  bool ShowLoginDialog(std::string_view, std::string& user, std::string& password) override {
    sawUser = user;
    user = "scribbled";
    password = "scribbled";
    return false;
  }
  std::string sawUser;
};

class KvLoginTest : public ::testing::Test {
 protected:
  template <class T, class... Args>
  T& Install(Args&&... args) {
    auto ui = std::make_shared<T>(std::forward<Args>(args)...);
    T& ref = *ui;
    auto previous = platform::SetUserInterface(std::move(ui));
    if (!installed_) previous_ = std::move(previous);
    installed_ = true;
    return ref;
  }
  void TearDown() override {
    if (installed_) platform::SetUserInterface(previous_);
  }
  std::ostringstream boxes_;

 private:
  std::shared_ptr<platform::IUserInterface> previous_;
  bool installed_ = false;
};

TEST_F(KvLoginTest, ConfirmationReplacesBothValuesAndCancellingKeepsThem) {
  Install<platform::TScriptedUserInterface>(std::vector<std::string>{"login: spaced :", "cancel"},
                                            boxes_);
  std::string user = "old user", password = "old password";
  EXPECT_TRUE(ShowLoginDialog("Connect to example.org", user, password));
  EXPECT_EQ(user, " spaced ");
  EXPECT_EQ(password, "") << "an empty password is a value like any other";
  EXPECT_NE(boxes_.str().find("[login] Connect to example.org"), std::string::npos);

  EXPECT_FALSE(ShowLoginDialog("Connect to example.org", user, password));
  EXPECT_EQ(user, " spaced ");
  EXPECT_EQ(password, "");
}

TEST_F(KvLoginTest, ValuesStayAsTheyWereWhenTheInterfaceChangesThemButCancels) {
  auto& ui = Install<TScribblingInterface>(boxes_);
  std::string user = "kept user", password = "kept password";
  EXPECT_FALSE(ShowLoginDialog("Connect to example.org", user, password));
  EXPECT_EQ(user, "kept user");
  EXPECT_EQ(password, "kept password");
  EXPECT_EQ(ui.sawUser, "") << "the dialog is not handed the values it must not show";
}

}  // namespace
}  // namespace kavrel
