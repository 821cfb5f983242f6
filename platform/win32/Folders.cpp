#include "Folders.h"

#include <windows.h>
// after windows.h, which it needs
#include <shlobj.h>

#include <vector>

#include "PathNames.h"
#include "WideText.h"

namespace kavrel::platform {

namespace {

std::string WithoutTrailingSeparator(std::string path) {
  // "C:\" keeps its separator: "C:" would name the drive's current folder.
  while (path.size() > 1 && EndsWithSeparator(path) && !(path.size() == 3 && path[1] == ':'))
    path.pop_back();
  return path;
}

// The text a system call writes into a buffer of `size` characters,
// returning the length it wrote or, when the buffer is too small, the size it
// needs.
template <class TCall>
std::string SystemText(TCall call) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const UINT n = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size())
      return WithoutTrailingSeparator(win32::Utf8(std::wstring_view(buffer.data(), n)));
    buffer.resize(n + 1);
  }
  return {};
}

}  // namespace

// The folder Windows gives each user for temporary files (from TMP, TEMP or
// the user's profile): already this user's own.
std::string TempFolderNote() { return {}; }

std::string TempFolder() {
  return SystemText(
      [](wchar_t* buffer, UINT size) { return static_cast<UINT>(::GetTempPathW(size, buffer)); });
}

std::string DocumentsFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path)))
    return {};
  return WithoutTrailingSeparator(win32::Utf8(path));
}

std::string WindowsFolder() {
  return SystemText(
      [](wchar_t* buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); });
}

std::string SystemFolder() {
  return SystemText([](wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); });
}

}  // namespace kavrel::platform
