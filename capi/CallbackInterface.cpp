#include "CallbackInterface.h"

#include <algorithm>
#include <array>
#include <string>

#include "CallbackEngine.h"

namespace kavrel::capi {

namespace {

using platform::TModalResult;
using platform::TMsgButtons;
using platform::TMsgKind;

// The C interface's numbers are the enumerations' own.
static_assert(KAVREL_BOX_CONFIRMATION == static_cast<int>(TMsgKind::Confirmation));
static_assert(KAVREL_BUTTONS_YES_NO == static_cast<int>(TMsgButtons::YesNo));
static_assert(KAVREL_ANSWER_NO == static_cast<int>(TModalResult::No));

// One field of the login dialog as the callback edits it.
class TLoginField {
 public:
  explicit TLoginField(const std::string& value) {
    const std::size_t length = std::min(value.size(), std::size_t{KAVREL_LOGIN_FIELD_SIZE});
    std::copy_n(value.begin(), length, buffer_.begin());
  }
  char* Data() { return buffer_.data(); }
  // What the callback left, up to its NUL or the field's end.
  std::string Value() const {
    return std::string(buffer_.data(),
                       std::find(buffer_.begin(), buffer_.end() - 1, '\0') - buffer_.begin());
  }

 private:
  std::array<char, KAVREL_LOGIN_FIELD_SIZE + 1> buffer_{};
};

std::string JoinedLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class TCallbackInterface final : public platform::IUserInterface {
 public:
  TCallbackInterface(TCallbackEngine& engine, platform::IUserInterface& fallback)
      : engine_(engine), fallback_(fallback) {}

  TModalResult MessageBox(std::string_view text, std::string_view caption, TMsgKind kind,
                          TMsgButtons buttons) override {
    const auto& box = engine_.MessageBox;
    if (box.Call == nullptr) return fallback_.MessageBox(text, caption, kind, buttons);
    const int answer =
        box.Call(box.Context, std::string(text).c_str(), std::string(caption).c_str(),
                 static_cast<int>(kind), static_cast<int>(buttons));
    return answer >= KAVREL_ANSWER_NONE && answer <= KAVREL_ANSWER_NO
               ? static_cast<TModalResult>(answer)
               : TModalResult::None;
  }

  // Called between transfer blocks and while a transfer waits: where a
  // cancel from another thread is taken.
  void ProcessMessages() override {
    engine_.TakeCancel();
    fallback_.ProcessMessages();
  }

  bool ShowLoginDialog(std::string_view caption, std::string& user,
                       std::string& password) override {
    const auto& login = engine_.Login;
    if (login.Call == nullptr) return fallback_.ShowLoginDialog(caption, user, password);
    TLoginField userField(user), passwordField(password);
    if (login.Call(login.Context, std::string(caption).c_str(), userField.Data(),
                   passwordField.Data()) == 0)
      return false;
    user = userField.Value();
    password = passwordField.Value();
    return true;
  }

  bool ShowWhatsNewDialog(const platform::TTextDialog& dialog) override {
    return ShowText(engine_.WhatsNew, dialog, &IUserInterface::ShowWhatsNewDialog);
  }
  bool ShowLicenseDialog(const platform::TTextDialog& dialog) override {
    return ShowText(engine_.License, dialog, &IUserInterface::ShowLicenseDialog);
  }
  bool ShowHtmlDialog(std::string_view address) override {
    return fallback_.ShowHtmlDialog(address);
  }
  std::unique_ptr<platform::IAnimationWindow> ShowAnimation(std::string_view caption,
                                                            std::string_view message) override {
    return fallback_.ShowAnimation(caption, message);
  }

 private:
  bool ShowText(const TCallback<kavrel_text_fn>& callback, const platform::TTextDialog& dialog,
                bool (IUserInterface::*fallback)(const platform::TTextDialog&)) {
    if (callback.Call == nullptr) return (fallback_.*fallback)(dialog);
    return callback.Call(callback.Context, dialog.Caption.c_str(),
                         JoinedLines(dialog.Lines).c_str()) != 0;
  }

  TCallbackEngine& engine_;
  platform::IUserInterface& fallback_;
};

}  // namespace

TInterfaceScope::TInterfaceScope(TCallbackEngine& engine) {
  // The interface in force, made if none was yet (the headless one), stays
  // alive as the fallback until it is restored.
  platform::IUserInterface& fallback = platform::UserInterface();
  previous_ = platform::SetUserInterface(std::make_shared<TCallbackInterface>(engine, fallback));
}

TInterfaceScope::~TInterfaceScope() { platform::SetUserInterface(std::move(previous_)); }

}  // namespace kavrel::capi
