// Programs on Windows: a command line is one text that the program splits
// itself, so it is handed to CreateProcessW as it stands; only the program's
// name is taken from it, to find the program.
#include "Processes.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "Files.h"
#include "PathNames.h"
#include "Text.h"
#include "WideText.h"

namespace kavrel::platform {

using win32::Utf8;
using win32::Wide;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program's name at the start of a command line, by the rule Windows
// reads it with: up to the next quote when it starts with one, else up to the
// first blank. `rest` receives where the text after it starts.
std::string ProgramNameOf(std::string_view commandLine, std::size_t* rest = nullptr) {
  std::size_t i = 0;
  while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
  std::string name;
  if (i < commandLine.size() && commandLine[i] == '"') {
    const std::size_t close = commandLine.find('"', i + 1);
    const std::size_t end = close == std::string_view::npos ? commandLine.size() : close;
    name = commandLine.substr(i + 1, end - i - 1);
    i = close == std::string_view::npos ? end : close + 1;
  } else {
    const std::size_t start = i;
    while (i < commandLine.size() && !IsBlank(commandLine[i])) ++i;
    name = commandLine.substr(start, i - start);
  }
  if (rest != nullptr) *rest = i;
  return name;
}

bool HasExtension(const std::string& name) {
  return BaseName(name).find('.') != std::string_view::npos;
}

// The file a program name means in a folder: the name itself, or with ".exe"
// where it has no extension.
std::string ProgramIn(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && !EndsWithSeparator(path)) path += '\\';
  path += name;
  if (FileExists(path)) return path;
  if (!HasExtension(name) && FileExists(path + ".exe")) return path + ".exe";
  return {};
}

std::string FindProgram(const std::string& name) {
  if (name.empty()) return {};
  if (ContainsSeparator(name) || (name.size() >= 2 && name[1] == ':')) {
    const std::string native = ToNativePath(name);
    if (!HasExtension(native) && !FileExists(native) && FileExists(native + ".exe"))
      return native + ".exe";
    return native;
  }
  for (const std::string& folder : {ProgramFolder(), GetCurrentDir()})
    if (std::string found = ProgramIn(folder, name); !found.empty()) return found;
  std::vector<wchar_t> buffer(MAX_PATH);
  const std::wstring wide = Wide(name);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = ::SearchPathW(nullptr, wide.c_str(), L".exe", static_cast<DWORD>(buffer.size()),
                                  buffer.data(), nullptr);
    if (n == 0) return {};
    if (n < buffer.size()) return Utf8(std::wstring_view(buffer.data(), n));
    buffer.resize(n + 1);
  }
  return {};
}

// An argument as a command line carries it to a program that splits its
// command line by the usual rules.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

// Starts a program; the process's handle, or null. No handle of this
// process is inherited.
HANDLE Start(const std::string& program, const std::string& commandLine, DWORD flags,
             bool showWindow) {
  if (program.empty()) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  std::wstring line = Wide(commandLine);  // CreateProcessW may write to it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showWindow ? SW_SHOWNORMAL : SW_HIDE);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(Wide(program).c_str(), line.data(), nullptr, nullptr, FALSE,
                        flags | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &info))
    return nullptr;
  ::CloseHandle(info.hThread);
  return info.hProcess;
}

// A program that asks for administrator rights (the updater stub does)
// cannot be started by CreateProcessW: the shell starts it, with the user's
// consent.
constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED, from Vista on

bool StartElevated(const std::string& program, const std::string& parameters) {
  const std::wstring file = Wide(program), text = Wide(parameters);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC;
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = text.empty() ? nullptr : text.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ::ShellExecuteExW(&info) != FALSE;
}

bool StartAndLetGo(const std::string& program, const std::string& commandLine,
                   const std::string& parameters, DWORD flags) {
  const HANDLE process = Start(program, commandLine, flags, true);
  if (process == nullptr)
    return ::GetLastError() == kElevationRequired && StartElevated(program, parameters);
  ::CloseHandle(process);
  return true;
}

constexpr DWORD kDetached = DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP;

}  // namespace

std::string ProgramFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  while (true) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return ".";
    if (n < buffer.size()) {
      const std::string path = Utf8(std::wstring_view(buffer.data(), n));
      const std::string folder(FolderPart(path));
      if (folder.size() == 2 && folder[1] == ':') return folder + "\\";
      return folder.empty() ? "." : folder;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool StartCommandLine(std::string_view commandLine) {
  std::size_t rest = 0;
  const std::string name = ProgramNameOf(commandLine, &rest);
  return StartAndLetGo(FindProgram(name), std::string(commandLine),
                       std::string(commandLine.substr(rest)), 0);
}

bool ShellOpen(std::string_view target, std::string_view parameters) {
  std::string file = ToNativePath(target);
  // A program named without a folder is the one the lookup order finds;
  // anything else the shell opens as it is.
  if (!ContainsSeparator(target) && SchemeOf(target).empty()) {
    const std::string program = FindProgram(file);
    if (!program.empty()) file = program;
  } else if (!SchemeOf(target).empty()) {
    file = std::string(target);
  }
  const std::wstring parameterText = Wide(parameters);
  const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
      nullptr, L"open", Wide(file).c_str(), parameters.empty() ? nullptr : parameterText.c_str(),
      nullptr, SW_SHOWNORMAL));
  return result > 32;
}

std::optional<int> RunAndWait(std::string_view commandLine, bool showWindow,
                              const std::function<void()>& waiting) {
  const HANDLE process =
      Start(FindProgram(ProgramNameOf(commandLine)), std::string(commandLine), 0, showWindow);
  if (process == nullptr) return std::nullopt;
  while (true) {
    const DWORD state = ::WaitForSingleObject(process, waiting ? 40 : INFINITE);
    if (state == WAIT_OBJECT_0) break;
    if (state != WAIT_TIMEOUT) {
      ::CloseHandle(process);
      return std::nullopt;
    }
    waiting();
  }
  DWORD code = 0;
  const bool known = ::GetExitCodeProcess(process, &code) != 0;
  ::CloseHandle(process);
  if (!known) return std::nullopt;
  return static_cast<int>(code);
}

void IgnoreBrokenPipe() {
  // Writing to a pipe whose reader has gone fails with an error on Windows;
  // nothing ends the process.
}

namespace {
std::atomic<bool> gInterrupted{false};

BOOL WINAPI OnInterrupt(DWORD) {
  // The first request is recorded; the second takes the default action,
  // which ends the process.
  return gInterrupted.exchange(true) ? FALSE : TRUE;
}
}  // namespace

void CancelOnInterrupt() { ::SetConsoleCtrlHandler(&OnInterrupt, TRUE); }

bool InterruptRequested() { return gInterrupted.load(); }

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::GetCurrentProcessId()); }

void WaitForProcessEnd(std::uint32_t pid) {
  if (pid == 0) return;
  // No process of that number (it has ended and gone) fails to open; one that
  // has ended but is still known gives a handle that is already signalled.
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return;
  ::WaitForSingleObject(process, INFINITE);
  ::CloseHandle(process);
}

bool ProcessRunning(std::uint32_t pid) {
  if (pid == 0) return false;
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return false;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

bool StartDetached(std::string_view program, std::string_view parameters) {
  const std::string native = ToNativePath(program);
  std::string commandLine = "\"" + native + "\"";
  if (!parameters.empty()) commandLine += " " + std::string(parameters);
  return StartAndLetGo(FindProgram(native), commandLine, std::string(parameters), kDetached);
}

bool StartDetachedWith(std::string_view program, const std::vector<std::string>& arguments) {
  const std::string native = ToNativePath(program);
  std::string parameters;
  for (const std::string& arg : arguments) parameters += " " + QuoteArgument(arg);
  const std::string commandLine = "\"" + native + "\"" + parameters;
  return StartAndLetGo(FindProgram(native), commandLine, parameters, kDetached);
}

bool StartDetachedElevated(std::string_view program, std::string_view parameters) {
  return StartElevated(FindProgram(ToNativePath(program)), std::string(parameters));
}

namespace {

// The elevation type of this process's token: full (raised, with a limited
// twin), limited, or default (no twin: elevation is off, or a standard user).
TOKEN_ELEVATION_TYPE ElevationType() {
  HANDLE token = nullptr;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    ::GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
    ::CloseHandle(token);
  }
  return type;
}

// A primary token with the user's own rights: the desktop shell's, else the
// limited twin of this process's token.
HANDLE UnelevatedToken() {
  HANDLE result = nullptr;
  DWORD shellProcess = 0;
  if (const HWND shell = ::GetShellWindow(); shell != nullptr)
    ::GetWindowThreadProcessId(shell, &shellProcess);
  if (shellProcess != 0) {
    if (const HANDLE process =
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcess)) {
      HANDLE token = nullptr;
      if (::OpenProcessToken(process, TOKEN_DUPLICATE, &token)) {
        ::DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                           &result);
        ::CloseHandle(token);
      }
      ::CloseHandle(process);
    }
  }
  if (result != nullptr) return result;
  HANDLE own = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own)) {
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (::GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
      ::DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                         TokenPrimary, &result);
      ::CloseHandle(linked.LinkedToken);
    }
    ::CloseHandle(own);
  }
  return result;
}

}  // namespace

bool RunsElevated() { return ElevationType() == TokenElevationTypeFull; }

namespace {

// Starts a program with the user's own rights, detached; its process handle,
// or null.
HANDLE StartAsUser(std::string_view program, const std::vector<std::string>& arguments) {
  std::string commandLine = "\"" + ToNativePath(program) + "\"";
  for (const std::string& arg : arguments) commandLine += " " + QuoteArgument(arg);
  const std::string native = FindProgram(ToNativePath(program));
  if (!RunsElevated()) return Start(native, commandLine, kDetached, true);
  const HANDLE token = UnelevatedToken();
  if (token == nullptr) return nullptr;
  std::wstring line = Wide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // With the shell's token the process is started for it; with the limited
  // twin this process may start it itself.
  bool started = ::CreateProcessAsUserW(token, Wide(native).c_str(), line.data(), nullptr, nullptr,
                                        FALSE, kDetached | CREATE_UNICODE_ENVIRONMENT, nullptr,
                                        nullptr, &startup, &info) != FALSE;
  if (!started)
    started = ::CreateProcessWithTokenW(token, 0, Wide(native).c_str(), line.data(),
                                        kDetached | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr,
                                        &startup, &info) != FALSE;
  ::CloseHandle(token);
  if (!started) return nullptr;
  ::CloseHandle(info.hThread);
  return info.hProcess;
}

}  // namespace

bool StartDetachedAsUser(std::string_view program, const std::vector<std::string>& arguments) {
  if (!RunsElevated()) return StartDetachedWith(program, arguments);
  const HANDLE process = StartAsUser(program, arguments);
  if (process == nullptr) return false;
  ::CloseHandle(process);
  return true;
}

std::optional<TWatchedProgram> TWatchedProgram::Start(std::string_view program,
                                                      const std::vector<std::string>& arguments) {
  const HANDLE process = StartAsUser(program, arguments);
  if (process == nullptr) return std::nullopt;
  return TWatchedProgram(reinterpret_cast<std::intptr_t>(process));
}

TWatchedProgram::TState TWatchedProgram::Wait(std::chrono::milliseconds limit) {
  if (ended_) return *ended_;
  const HANDLE process = reinterpret_cast<HANDLE>(handle_);
  const DWORD state = ::WaitForSingleObject(process, static_cast<DWORD>(limit.count()));
  if (state == WAIT_TIMEOUT) return TState::Running;
  DWORD code = 1;
  if (state != WAIT_OBJECT_0 || !::GetExitCodeProcess(process, &code)) code = 1;
  // An unhandled exception ends a program with its code (0xC0000005 for an
  // access violation).
  char text[32];
  std::snprintf(text, sizeof text, code >= 0xC0000000u ? "exception 0x%08lX" : "exit status %lu",
                static_cast<unsigned long>(code));
  how_ = text;
  ended_ = code == 0 ? TState::Succeeded : TState::Failed;
  return *ended_;
}

void TWatchedProgram::Stop() {
  if (ended_ || handle_ == -1) return;
  ::TerminateProcess(reinterpret_cast<HANDLE>(handle_), 1);
  Wait(std::chrono::seconds(10));
}

TWatchedProgram::~TWatchedProgram() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::vector<std::string> ProgramArguments(int, char**) {
  ::SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(Utf8(wide[i]));
  if (wide != nullptr) ::LocalFree(wide);
  return args;
}

// The text after the program's name in the process's own command line, so
// that a program started with StartDetached gets exactly the text it was
// given (the blanks between the name and the text left out).
std::string ParameterText(int, char**) {
  const std::string line = Utf8(::GetCommandLineW());
  std::size_t rest = 0;
  ProgramNameOf(line, &rest);
  while (rest < line.size() && IsBlank(line[rest])) ++rest;
  return line.substr(rest);
}

}  // namespace kavrel::platform
