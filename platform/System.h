// Facts about the running system: version, clock, regional settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "DateTime.h"

namespace kavrel::platform {

struct TOsVersion {
  int Major = 0;
  int Minor = 0;
};
TOsVersion OsVersion();

// Whether the system's basic-services library exports the locale entry that
// marks a Windows Vista or later system; never on other systems.
bool BasicServicesHaveLocaleInfoEx();

// The current local date and time.
TDateTime LocalNow();

// The user's regional date and time settings. Tests may install fixed ones;
// passing nothing returns to the system's.
TFormatSettings UserFormatSettings();
void OverrideUserFormatSettings(std::optional<TFormatSettings> settings);
// The system's own regional settings, whatever a test installed.
TFormatSettings SystemFormatSettings();

std::optional<std::string> GetEnvironment(std::string_view name);

// One line typed at the terminal without showing it, after `prompt` on the
// standard error; from a pipe, one line of the standard input. Nothing at its end.
std::optional<std::string> ReadHiddenLine(std::string_view prompt);

// Whether the standard output is a terminal (a console on Windows) that a
// person watches, rather than a pipe or a file.
bool StandardOutputIsTerminal();

}  // namespace kavrel::platform
