#include "ProgramResource.h"

#include <windows.h>

#include <string>

namespace kavrel::platform {

std::optional<std::string_view> ProgramResource(std::string_view name) {
  const std::wstring wide(name.begin(), name.end());  // resource names are ASCII
  HRSRC found = ::FindResourceW(nullptr, wide.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(nullptr, found);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::nullopt;
  // A loaded resource stays mapped for the life of the program.
  return std::string_view(static_cast<const char*>(bytes), ::SizeofResource(nullptr, found));
}

}  // namespace kavrel::platform
