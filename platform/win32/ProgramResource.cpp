#include "ProgramResource.h"

#include <windows.h>

#include <string>

namespace kavrel::platform {

namespace {

// The module this code was linked into: the program, or the engine's DLL in
// a host that loaded it, whose resources are its own and not the program's.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ThisModule), &module))
    return nullptr;  // the program's, as the system takes a null module
  return module;
}

}  // namespace

std::optional<std::string_view> ProgramResource(std::string_view name) {
  const HMODULE module = ThisModule();
  const std::wstring wide(name.begin(), name.end());  // resource names are ASCII
  HRSRC found = ::FindResourceW(module, wide.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::nullopt;
  // A loaded resource stays mapped for as long as its module is loaded.
  return std::string_view(static_cast<const char*>(bytes), ::SizeofResource(module, found));
}

}  // namespace kavrel::platform
