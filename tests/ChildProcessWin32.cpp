// Child processes of a Windows test program.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "ChildProcess.h"
#include "TestSupport.h"
#include "WideText.h"

namespace kavrel::test {

namespace {

using platform::win32::Utf8;
using platform::win32::Wide;

// One argument as the C runtime's parser reads it back: quoted when it holds
// blanks or quotes, backslashes doubled where they come before a quote.
std::wstring QuotedArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// This process's environment with the extra variables in place of any of
// their names, as a block for CreateProcessW.
std::wstring EnvironmentBlock(const TEnvironment& env) {
  std::wstring block;
  wchar_t* own = ::GetEnvironmentStringsW();
  for (const wchar_t* e = own; *e != L'\0'; e += wcslen(e) + 1) {
    const std::wstring entry = e;
    bool replaced = false;
    for (const auto& [name, value] : env)
      replaced =
          replaced || ::CompareStringOrdinal(entry.c_str(), static_cast<int>(name.size()) + 1,
                                             Wide(name + "=").c_str(), -1, TRUE) == CSTR_EQUAL;
    if (!replaced) block += entry + L'\0';
  }
  ::FreeEnvironmentStringsW(own);
  for (const auto& [name, value] : env) block += Wide(name + "=" + value) + L'\0';
  return block + L'\0';
}

HANDLE InheritableFile(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE h = ::CreateFileW(Wide(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  return h;
}

std::wstring CommandLine(const std::vector<std::string>& args) {
  std::wstring commandLine;
  for (const std::string& a : args)
    commandLine += (commandLine.empty() ? L"" : L" ") + QuotedArgument(Wide(a));
  return commandLine;
}

// Starts `program` with its command line in `folder` with its standard
// streams on the handles given (which must be inheritable). The process
// handle; the id goes to `pid`.
HANDLE Spawn(const std::string& program, std::wstring commandLine, const std::string& folder,
             const TEnvironment& env, HANDLE in, HANDLE out, HANDLE err, pid_t& pid,
             bool ownConsole = false) {
  std::wstring environment = EnvironmentBlock(env);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  if (ownConsole) {  // the console's window stays out of sight
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  // Wine now and then refuses a start with an internal error (1359) under
  // load; a second try starts the program.
  for (int attempt = 1;; ++attempt) {
    if (::CreateProcessW(
            Wide(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
            CREATE_UNICODE_ENVIRONMENT | (ownConsole ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW),
            environment.data(), Wide(folder).c_str(), &startup, &info))
      break;
    const DWORD error = ::GetLastError();
    if (error != ERROR_INTERNAL_ERROR || attempt == 3)
      throw std::runtime_error("cannot start " + program + ": error " + std::to_string(error));
    ::Sleep(200);
  }
  ::CloseHandle(info.hThread);
  pid = static_cast<pid_t>(info.dwProcessId);
  return info.hProcess;
}

// A program's text output as a test compares it: the C runtime of a Windows
// program ends its lines with CR LF where the program wrote LF.
std::string WithLinuxLineEnds(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
  return out;
}

std::atomic<std::size_t> gLargestChildMemory{0};

// The child's largest working set so far, taken in with the others. (Windows
// keeps it while the handle is open; Wine only while the child runs, so it
// is taken while waiting.)
void NoteMemory(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(process, &counters, sizeof counters)) return;
  std::size_t seen = gLargestChildMemory.load();
  while (counters.PeakWorkingSetSize > seen &&
         !gLargestChildMemory.compare_exchange_weak(seen, counters.PeakWorkingSetSize)) {
  }
}

// Waits for the child until the deadline, terminating it then; its exit
// code, or -1 when it had to be ended.
int Reap(HANDLE process, std::chrono::steady_clock::time_point deadline) {
  int code = -1;
  DWORD state = WAIT_TIMEOUT;
  while (state == WAIT_TIMEOUT && std::chrono::steady_clock::now() < deadline) {
    NoteMemory(process);
    state = ::WaitForSingleObject(process, 10);
  }
  NoteMemory(process);
  if (state == WAIT_OBJECT_0) {
    DWORD exit = 0;
    if (::GetExitCodeProcess(process, &exit)) code = static_cast<int>(exit);
  } else {
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, INFINITE);
  }
  ::CloseHandle(process);
  return code;
}

TProgramResult RunCommandLine(const std::string& program, const std::wstring& commandLine,
                              const std::string& folder, const TEnvironment& env,
                              int timeoutSeconds) {
  TTempDir capture;
  const std::string outPath = capture.File("out"), errPath = capture.File("err");
  WriteFile(capture.File("in"), "");
  HANDLE in = InheritableFile(capture.File("in"), false);
  HANDLE out = InheritableFile(outPath, true), err = InheritableFile(errPath, true);
  pid_t pid = 0;
  HANDLE process = nullptr;
  try {
    process = Spawn(program, commandLine, folder, env, in, out, err, pid);
  } catch (...) {
    for (HANDLE h : {in, out, err}) ::CloseHandle(h);
    throw;
  }
  for (HANDLE h : {in, out, err}) ::CloseHandle(h);
  TProgramResult result;
  result.ExitCode =
      Reap(process, std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds));
  result.Out = WithLinuxLineEnds(ReadFile(outPath).value_or(""));
  result.Err = WithLinuxLineEnds(ReadFile(errPath).value_or(""));
  if (result.ExitCode == -1) result.Err += "timed out";
  return result;
}

}  // namespace

std::size_t LargestChildMemory() { return gLargestChildMemory.load(); }

TProgramResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                          const TEnvironment& env, int timeoutSeconds) {
  return RunCommandLine(args.at(0), CommandLine(args), folder, env, timeoutSeconds);
}

TProgramResult RunWithParameterText(const std::string& program, const std::string& text,
                                    const std::string& folder, const TEnvironment& env,
                                    int timeoutSeconds) {
  return RunCommandLine(program, QuotedArgument(Wide(program)) + L" " + Wide(text), folder, env,
                        timeoutSeconds);
}

TRunningProgram::TRunningProgram(const std::vector<std::string>& args, const std::string& folder,
                                 const TEnvironment& env, bool ownConsole) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!::CreatePipe(&read, &write, &inherit, 0)) throw std::runtime_error("pipe");
  ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  WriteFile(capture_.File("in"), "");
  HANDLE in = InheritableFile(capture_.File("in"), false);
  HANDLE err = InheritableFile(capture_.File("err"), true);
  try {
    process_ = Spawn(args.at(0), CommandLine(args), folder, env, in, write, err, pid_, ownConsole);
  } catch (...) {
    for (HANDLE h : {read, write, in, err}) ::CloseHandle(h);
    throw;
  }
  for (HANDLE h : {write, in, err}) ::CloseHandle(h);
  out_ = read;
}

void TRunningProgram::CloseOutput() {
  if (out_ != nullptr) ::CloseHandle(out_);
  out_ = nullptr;
}

TRunningProgram::~TRunningProgram() {
  Kill();
  if (out_ != nullptr) ::CloseHandle(out_);
}

bool TRunningProgram::WaitForOutput(std::string_view text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (output_.find(text) == std::string::npos) {
    if (out_ == nullptr) return false;
    DWORD available = 0;
    if (!::PeekNamedPipe(out_, nullptr, 0, nullptr, &available, nullptr)) {
      ::CloseHandle(out_);  // the writer has gone: the output has ended
      out_ = nullptr;
      return output_.find(text) != std::string::npos;
    }
    if (available == 0) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    char block[4096];
    DWORD n = 0;
    if (!::ReadFile(out_, block, std::min<DWORD>(available, sizeof block), &n, nullptr) || n == 0)
      continue;
    output_ += WithLinuxLineEnds(std::string(block, n));
  }
  return true;
}

void TRunningProgram::Interrupt() {
  if (process_ == nullptr) return;
  // Only a process at a console can send its Ctrl+C: this one joins the
  // program's for the moment, ignoring the event itself.
  ::FreeConsole();
  if (!::AttachConsole(static_cast<DWORD>(pid_))) return;
  ::SetConsoleCtrlHandler(nullptr, TRUE);
  ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
  ::FreeConsole();
  ::SetConsoleCtrlHandler(nullptr, FALSE);
}

void TRunningProgram::Kill() {
  if (process_ == nullptr) return;
  ::TerminateProcess(process_, 1);
  ::WaitForSingleObject(process_, INFINITE);
  ::CloseHandle(process_);
  process_ = nullptr;
  pid_ = -1;
}

TProgramResult TRunningProgram::Wait(int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  WaitForOutput(std::string_view("\0", 1), std::chrono::seconds(timeoutSeconds));  // to its end
  TProgramResult result;
  if (process_ != nullptr) result.ExitCode = Reap(process_, deadline);
  process_ = nullptr;
  pid_ = -1;
  result.Out = output_;
  result.Err = WithLinuxLineEnds(ReadFile(capture_.File("err")).value_or(""));
  return result;
}

std::string KavrelProgram() { return KAVREL_CLI_PATH; }

}  // namespace kavrel::test
