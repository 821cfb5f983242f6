// A Windows program that tells how it was started, where the Linux tests use
// a shell script: each start writes its arguments, one a line in UTF-8, into
// the file named like the program with ".out" added (a copy named before.exe
// writes before.exe.out), replacing what was there. An argument
// "handle:<number>" is followed by " open" when the program holds a file
// handle of that number, else by " closed". The file named with ".line"
// added gets two lines: the command line after the program's name, exactly
// as it came, and the current folder.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdint>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

// Writes `text` to `path` under another name first, so that a reader never
// sees half of it.
bool WriteWhole(const std::wstring& path, const std::string& text) {
  const std::wstring part = path + L".part";
  const HANDLE file = ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE &&
      written == text.size();
  ::CloseHandle(file);
  return ok && ::MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The command line after the program's name and the blanks that follow it.
std::wstring ParameterText() {
  const wchar_t* line = ::GetCommandLineW();
  if (*line == L'"') {
    ++line;
    while (*line != L'\0' && *line != L'"') ++line;
    if (*line == L'"') ++line;
  } else {
    while (*line > L' ') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int main() {
  wchar_t self[MAX_PATH * 4];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  if (n == 0 || n >= MAX_PATH * 4) return 2;
  int count = 0;
  wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (args == nullptr) return 2;
  std::string text;
  for (int i = 1; i < count; ++i) {
    const std::string arg = Utf8(args[i]);
    text += arg;
    if (arg.rfind("handle:", 0) == 0) {
      const auto value = static_cast<std::uintptr_t>(std::stoull(arg.substr(7)));
      const HANDLE handle = reinterpret_cast<HANDLE>(value);
      DWORD flags = 0;
      const bool open = ::GetHandleInformation(handle, &flags) != FALSE &&
                        ::GetFileType(handle) == FILE_TYPE_DISK;
      text += open ? " open" : " closed";
    }
    text += "\n";
  }
  ::LocalFree(args);
  wchar_t folder[MAX_PATH * 4] = {};
  ::GetCurrentDirectoryW(MAX_PATH * 4, folder);
  const std::wstring me(self);
  const bool lined =
      WriteWhole(me + L".line", Utf8(ParameterText().c_str()) + "\n" + Utf8(folder) + "\n");
  return WriteWhole(me + L".out", text) && lined ? 0 : 1;
}
