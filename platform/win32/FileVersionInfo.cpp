#include "FileVersionInfo.h"

#include <windows.h>

#include <vector>

#include "PathNames.h"
#include "WideText.h"

namespace kavrel::platform {

std::optional<std::pair<std::uint32_t, std::uint32_t>> ReadFileVersion(std::string_view path) {
  const std::wstring wide = win32::Wide(ToNativePath(path));
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> block(size);
  if (!::GetFileVersionInfoW(wide.c_str(), 0, size, block.data())) return std::nullopt;
  void* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", &fixed, &length) || fixed == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO))
    return std::nullopt;
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  if (info->dwSignature != 0xFEEF04BD) return std::nullopt;
  return std::pair<std::uint32_t, std::uint32_t>{info->dwFileVersionMS, info->dwFileVersionLS};
}

}  // namespace kavrel::platform
