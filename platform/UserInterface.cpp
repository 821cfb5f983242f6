#include "UserInterface.h"

#include <atomic>
#include <iostream>
#include <mutex>

namespace kavrel::platform {

namespace {

// Without a window system and without a script: shows boxes as text and says no.
class THeadlessUserInterface final : public IUserInterface {
 public:
  TModalResult MessageBox(std::string_view text, std::string_view, TMsgKind,
                          TMsgButtons buttons) override {
    std::cerr << "[box] " << text << '\n';
    switch (buttons) {
      case TMsgButtons::Ok:
        return TModalResult::Ok;
      case TMsgButtons::OkCancel:
        return TModalResult::Cancel;
      case TMsgButtons::YesNo:
        return TModalResult::No;
    }
    return TModalResult::None;
  }
  void ProcessMessages() override {}
  bool ShowLoginDialog(std::string_view caption, std::string&, std::string&) override {
    std::cerr << "[login] " << caption << '\n';
    return false;
  }
  std::unique_ptr<IAnimationWindow> ShowAnimation(std::string_view caption,
                                                  std::string_view) override {
    std::cerr << "[animation] " << caption << '\n';
    return nullptr;
  }
};

std::mutex gUiMutex;
std::shared_ptr<IUserInterface> gUi;
std::atomic<bool> gTerminateRequested = false;

}  // namespace

IUserInterface& UserInterface() {
  std::lock_guard lock(gUiMutex);
  if (!gUi) gUi = std::make_shared<THeadlessUserInterface>();
  return *gUi;
}

std::shared_ptr<IUserInterface> SetUserInterface(std::shared_ptr<IUserInterface> ui) {
  std::lock_guard lock(gUiMutex);
  std::swap(gUi, ui);
  return ui;
}

void RequestTerminate() { gTerminateRequested = true; }

bool TerminateRequested() { return gTerminateRequested; }

}  // namespace kavrel::platform
