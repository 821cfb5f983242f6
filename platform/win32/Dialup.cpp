// The dial-up entry points of the Internet client library, looked up by name
// at each use rather than bound when the program starts: a system without
// them still runs, and each missing entry counts as having returned -1
// (connected, dialled, hung up).
#include <windows.h>

#include "Internet.h"

namespace kavrel::platform {

namespace {

constexpr wchar_t kLibrary[] = L"wininet.dll";

// Loads the library, looks the entry up, calls it and releases the library;
// -1 when the library or the entry is not there.
template <typename Entry, typename Call>
int CallEntry(const char* name, Call call) {
  HMODULE library = LoadLibraryW(kLibrary);
  if (library == nullptr) return -1;
  int result = -1;
  if (FARPROC entry = GetProcAddress(library, name))
    result = call(reinterpret_cast<Entry>(reinterpret_cast<void*>(entry)));
  FreeLibrary(library);
  return result;
}

bool HasEntry(const char* name) {
  HMODULE library = LoadLibraryW(kLibrary);
  if (library == nullptr) return false;
  const bool found = GetProcAddress(library, name) != nullptr;
  FreeLibrary(library);
  return found;
}

using TGetConnectedState = BOOL(WINAPI*)(DWORD*, DWORD);
using TAutodial = BOOL(WINAPI*)(DWORD, HWND);
using TAutodialHangup = BOOL(WINAPI*)(DWORD);

TDialupEntries SystemEntries() {
  TDialupEntries entries;
  if (HasEntry("InternetGetConnectedState"))
    entries.GetConnectedState = [] {
      return CallEntry<TGetConnectedState>("InternetGetConnectedState", [](TGetConnectedState f) {
        DWORD flags = 0;  // the kind of connection plays no part
        return static_cast<int>(f(&flags, 0));
      });
    };
  if (HasEntry("InternetAutodial"))
    entries.Autodial = [](int flags) {
      return CallEntry<TAutodial>("InternetAutodial", [flags](TAutodial f) {
        return static_cast<int>(f(static_cast<DWORD>(flags), nullptr));
      });
    };
  if (HasEntry("InternetAutodialHangup"))
    entries.AutodialHangup = [] {
      return CallEntry<TAutodialHangup>("InternetAutodialHangup",
                                        [](TAutodialHangup f) { return static_cast<int>(f(0)); });
    };
  return entries;
}

}  // namespace

TDialupEntries& DialupEntries() {
  static TDialupEntries entries = SystemEntries();
  return entries;
}

}  // namespace kavrel::platform
