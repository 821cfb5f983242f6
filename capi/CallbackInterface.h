// The user interface of one engine handle's run: each question or dialog the
// host gave a callback for goes to it; the rest, and the message pump, to the
// interface that was in force before.
#pragma once

#include <memory>

#include "UserInterface.h"

namespace kavrel::capi {

class TCallbackEngine;

// Installs the handle's interface for its life and then restores the one it
// replaced: the interface is the process's, the callbacks the handle's.
class TInterfaceScope {
 public:
  explicit TInterfaceScope(TCallbackEngine& engine);
  ~TInterfaceScope();
  TInterfaceScope(const TInterfaceScope&) = delete;
  TInterfaceScope& operator=(const TInterfaceScope&) = delete;

 private:
  std::shared_ptr<platform::IUserInterface> previous_;
};

}  // namespace kavrel::capi
