#include "System.h"

#include <langinfo.h>
#include <locale.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>

#include "Errors.h"
#include "LocalTime.h"

namespace kavrel::platform {

TOsVersion OsVersion() {
  utsname info{};
  TOsVersion version;
  if (::uname(&info) == 0) {
    char* end = nullptr;
    version.Major = static_cast<int>(std::strtol(info.release, &end, 10));
    if (end != nullptr && *end == '.')
      version.Minor = static_cast<int>(std::strtol(end + 1, nullptr, 10));
  }
  return version;
}

bool BasicServicesHaveLocaleInfoEx() { return false; }

TDateTime LocalNow() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return ToLocalDateTime(ts).value_or(DefaultControlDate());
}

// Read through a locale object of our own, so that nothing process-wide
// changes.
TFormatSettings SystemFormatSettings() {
  TFormatSettings settings;
  const locale_t loc = ::newlocale(LC_TIME_MASK, "", nullptr);
  const locale_t use = loc != nullptr ? loc : ::newlocale(LC_TIME_MASK, "C", nullptr);
  if (use == nullptr) return settings;
  settings.ShortDateFormat =
      PatternFromStrftime(::nl_langinfo_l(D_FMT, use), false, &settings.DateSeparator);
  settings.LongTimeFormat =
      PatternFromStrftime(::nl_langinfo_l(T_FMT, use), true, &settings.TimeSeparator);
  const char* am = ::nl_langinfo_l(AM_STR, use);
  const char* pm = ::nl_langinfo_l(PM_STR, use);
  if (am != nullptr && *am != '\0') settings.TimeAMString = am;
  if (pm != nullptr && *pm != '\0') settings.TimePMString = pm;
  ::freelocale(use);
  return settings;
}

std::optional<std::string> GetEnvironment(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

namespace {
thread_local int tLastError = 0;
}  // namespace

int GetLastError() { return tLastError; }
void SetLastError(int errorCode) { tLastError = errorCode; }

std::string SystemErrorText(int errorCode) {
  char buffer[256];
  return ::strerror_r(errorCode, buffer, sizeof buffer);
}

int LastSystemError() { return errno; }

int ErrorNumber(TErrorKind kind) {
  switch (kind) {
    case TErrorKind::NotFound:
      return ENOENT;
    case TErrorKind::AlreadyExists:
      return EEXIST;
    case TErrorKind::AccessDenied:
      return EACCES;
    case TErrorKind::InvalidArgument:
      return EINVAL;
    case TErrorKind::InOut:
      return EIO;
    case TErrorKind::WouldBlock:
      return EWOULDBLOCK;
  }
  return EIO;
}

bool IsErrorKind(int errorCode, TErrorKind kind) {
  return errorCode == ErrorNumber(kind) || (kind == TErrorKind::WouldBlock && errorCode == EAGAIN);
}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

std::optional<std::string> ReadHiddenLine(std::string_view prompt) {
  const bool terminal = ::isatty(STDIN_FILENO) == 1;
  termios saved{};
  if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::cerr << prompt << std::flush;
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << '\n';
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return read ? std::optional<std::string>(line) : std::nullopt;
}

}  // namespace kavrel::platform
