// The regional settings the engine reads: the system's, unless a test
// installed fixed ones.
#include <mutex>

#include "System.h"

namespace kavrel::platform {

namespace {

std::mutex gSettingsMutex;
std::optional<TFormatSettings> gOverride;

}  // namespace

TFormatSettings UserFormatSettings() {
  {
    std::lock_guard lock(gSettingsMutex);
    if (gOverride) return *gOverride;
  }
  return SystemFormatSettings();
}

void OverrideUserFormatSettings(std::optional<TFormatSettings> settings) {
  std::lock_guard lock(gSettingsMutex);
  gOverride = std::move(settings);
}

}  // namespace kavrel::platform
