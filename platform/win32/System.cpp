#include "System.h"

#include <windows.h>

#include <cctype>
#include <iostream>
#include <vector>

#include "Errors.h"
#include "RegionalFormats.h"
#include "WideText.h"

namespace kavrel::platform {

TOsVersion OsVersion() {
  // The true version: GetVersionExW reports what the program's manifest
  // declares it knows, RtlGetVersion what runs.
  TOsVersion version;
  using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto rtlGetVersion =
      ntdll != nullptr ? reinterpret_cast<TRtlGetVersion>(
                             reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
                       : nullptr;
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (rtlGetVersion != nullptr && rtlGetVersion(&info) == 0) {
    version.Major = static_cast<int>(info.dwMajorVersion);
    version.Minor = static_cast<int>(info.dwMinorVersion);
  }
  return version;
}

bool BasicServicesHaveLocaleInfoEx() {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32");
  return kernel != nullptr && ::GetProcAddress(kernel, "GetLocaleInfoEx") != nullptr;
}

TDateTime LocalNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  TDateParts parts;
  parts.Year = now.wYear;
  parts.Month = now.wMonth;
  parts.Day = now.wDay;
  parts.Hour = now.wHour;
  parts.Minute = now.wMinute;
  parts.Second = now.wSecond;
  parts.Millisecond = now.wMilliseconds;
  return EncodeDateTime(parts);
}

namespace {

std::string LocaleText(LCTYPE type) {
  wchar_t buffer[128] = {};
  const int n = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
  return n > 1 ? win32::Utf8(std::wstring_view(buffer, static_cast<std::size_t>(n - 1)))
               : std::string();
}

}  // namespace

}  // namespace kavrel::platform

namespace kavrel::platform::win32 {

std::string PatternFromWindowsPicture(std::string_view picture, bool isTime,
                                      std::string* separator) {
  const char marker = isTime ? ':' : '/';
  std::string out;
  char sep = 0;
  auto literal = [&out](char c) { AppendPatternLiteral(out, c); };
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'') {
      // Quoted text; '' inside it, or on its own, is a quote mark.
      std::size_t end = i + 1;
      if (end < picture.size() && picture[end] == '\'') {
        literal('\'');
        i += 2;
        continue;
      }
      while (end < picture.size() && picture[end] != '\'') literal(picture[end++]);
      i = end + 1;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    const std::size_t n = run;
    bool token = true;
    switch (c) {
      case 'd':
        out += n == 1 ? "d" : n == 2 ? "dd" : n == 3 ? "ddd" : "dddd";
        break;
      case 'M':
        out += n == 1 ? "m" : n == 2 ? "mm" : n == 3 ? "mmm" : "mmmm";
        break;
      case 'y':
        out += n <= 2 ? "yy" : "yyyy";
        break;
      case 'g':
        break;  // the era is written by no pattern of the engine
      case 'h':
      case 'H':
        out += n == 1 ? "h" : "hh";
        break;
      case 'm':
        out += n == 1 ? "n" : "nn";
        break;
      case 's':
        out += n == 1 ? "s" : "ss";
        break;
      case 't':
        out += "ampm";
        break;
      default:
        token = false;
        break;
    }
    if (token) {
      i += n;
      continue;
    }
    const bool ascii = static_cast<unsigned char>(c) < 0x80;
    if (sep == 0 && ascii && !std::isalnum(static_cast<unsigned char>(c)) && c != ' ') sep = c;
    if (sep != 0 && c == sep)
      out += marker;
    else
      literal(c);
    ++i;
  }
  if (separator != nullptr) *separator = std::string(1, sep != 0 ? sep : marker);
  return out;
}

}  // namespace kavrel::platform::win32

namespace kavrel::platform {

// From the user's regional settings.
TFormatSettings SystemFormatSettings() {
  TFormatSettings settings;
  const std::string date = LocaleText(LOCALE_SSHORTDATE);
  if (!date.empty())
    settings.ShortDateFormat =
        win32::PatternFromWindowsPicture(date, false, &settings.DateSeparator);
  const std::string time = LocaleText(LOCALE_STIMEFORMAT);
  if (!time.empty())
    settings.LongTimeFormat = win32::PatternFromWindowsPicture(time, true, &settings.TimeSeparator);
  const std::string am = LocaleText(LOCALE_S1159);
  const std::string pm = LocaleText(LOCALE_S2359);
  if (!am.empty()) settings.TimeAMString = am;
  if (!pm.empty()) settings.TimePMString = pm;
  return settings;
}

std::optional<std::string> GetEnvironment(std::string_view name) {
  const std::wstring wide = win32::Wide(name);
  std::vector<wchar_t> buffer(256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n =
        ::GetEnvironmentVariableW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (n < buffer.size()) return win32::Utf8(std::wstring_view(buffer.data(), n));
    buffer.resize(n);
  }
  return std::nullopt;
}

// The thread's own Windows error value: what the last system call left, or
// what the engine set for a program it ran.
int GetLastError() { return static_cast<int>(::GetLastError()); }
void SetLastError(int errorCode) { ::SetLastError(static_cast<DWORD>(errorCode)); }

std::string SystemErrorText(int errorCode) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(errorCode), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out;
  if (n > 0 && text != nullptr) out = win32::Utf8(std::wstring_view(text, n));
  if (text != nullptr) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' '))
    out.pop_back();
  return out.empty() ? "System error " + std::to_string(errorCode) : out;
}

int LastSystemError() { return static_cast<int>(::GetLastError()); }

int ErrorNumber(TErrorKind kind) {
  switch (kind) {
    case TErrorKind::NotFound:
      return ERROR_FILE_NOT_FOUND;
    case TErrorKind::AlreadyExists:
      return ERROR_FILE_EXISTS;
    case TErrorKind::AccessDenied:
      return ERROR_ACCESS_DENIED;
    case TErrorKind::InvalidArgument:
      return ERROR_INVALID_PARAMETER;
    case TErrorKind::InOut:
      return ERROR_WRITE_FAULT;
    case TErrorKind::WouldBlock:
      return ERROR_SHARING_VIOLATION;
  }
  return ERROR_WRITE_FAULT;
}

bool IsErrorKind(int errorCode, TErrorKind kind) {
  const auto e = static_cast<DWORD>(errorCode);
  switch (kind) {
    case TErrorKind::NotFound:
      return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
    case TErrorKind::AlreadyExists:
      return e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS;
    case TErrorKind::WouldBlock:
      return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION;
    default:
      return errorCode == ErrorNumber(kind);
  }
}

bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> ReadHiddenLine(std::string_view prompt) {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = ::GetConsoleMode(input, &mode) != 0;
  if (console) ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::cerr << prompt << std::flush;
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (console) {
    ::SetConsoleMode(input, mode);
    std::cerr << '\n';
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return read ? std::optional<std::string>(line) : std::nullopt;
}

}  // namespace kavrel::platform
