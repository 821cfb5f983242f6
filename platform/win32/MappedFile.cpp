#include "MappedFile.h"

#include <windows.h>

#include "PathNames.h"
#include "WideText.h"

namespace kavrel::platform {

namespace {

// Records the system's last error; closing handles afterwards may change it.
std::nullopt_t Failed(int* error) {
  if (error != nullptr) *error = static_cast<int>(::GetLastError());
  return std::nullopt;
}

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

std::optional<TMappedFile> TMappedFile::Read(std::string_view path, int* error) {
  // Readers may share it; a writer may not change what is being read.
  const HANDLE file =
      ::CreateFileW(win32::Wide(ToNativePath(path)).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(error);
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size)) {
    Failed(error);
    ::CloseHandle(file);
    return std::nullopt;
  }
  if (size.QuadPart == 0) return TMappedFile(nullptr, 0, reinterpret_cast<std::intptr_t>(file), -1);
  const HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  void* data = mapping != nullptr ? ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (data == nullptr) {
    Failed(error);
    if (mapping != nullptr) ::CloseHandle(mapping);
    ::CloseHandle(file);
    return std::nullopt;
  }
  return TMappedFile(static_cast<std::uint8_t*>(data), static_cast<std::uint64_t>(size.QuadPart),
                     reinterpret_cast<std::intptr_t>(file),
                     reinterpret_cast<std::intptr_t>(mapping));
}

std::optional<TMappedFile> TMappedFile::Write(TFile& file, std::uint64_t size, int* error) {
  if (size == 0) return TMappedFile(nullptr, 0, -1, -1);
  // A mapping of this size sets the file to it and takes its clusters now,
  // or fails here when the disk has no room.
  const HANDLE mapping =
      ::CreateFileMappingW(AsHandle(file.handle_), nullptr, PAGE_READWRITE,
                           static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), nullptr);
  void* data = mapping != nullptr ? ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0) : nullptr;
  if (data == nullptr) {
    Failed(error);
    if (mapping != nullptr) ::CloseHandle(mapping);
    return std::nullopt;
  }
  return TMappedFile(static_cast<std::uint8_t*>(data), size, -1,
                     reinterpret_cast<std::intptr_t>(mapping));
}

bool TMappedFile::Flush() { return data_ == nullptr || ::FlushViewOfFile(data_, 0) != 0; }

void TMappedFile::Close() {
  if (data_ != nullptr) ::UnmapViewOfFile(data_);
  if (mapping_ != -1) ::CloseHandle(AsHandle(mapping_));
  if (file_ != -1) ::CloseHandle(AsHandle(file_));
  data_ = nullptr;
  size_ = 0;
  mapping_ = -1;
  file_ = -1;
}

}  // namespace kavrel::platform
