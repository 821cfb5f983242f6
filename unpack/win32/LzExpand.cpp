// LZ expansion on the system's LZ32 library. The header is read here first,
// so that only a file in the LZ format is ever handed to LZ32 (which would
// copy any other file as it stands) and the expansion's length can be checked
// against the one the header records. LZ32 is given open handles, never
// names, so that paths keep their Unicode characters and may be long.
#include "LzExpand.h"

#include <windows.h>
// after windows.h, which it needs
#include <lzexpand.h>

#include "Files.h"
#include "PathNames.h"
#include "UnpackNames.h"
#include "WideText.h"

namespace kavrel {

namespace {

// A file handle as the LZ32 functions take it: Windows handles fit in 32 bits.
INT AsLzHandle(HANDLE h) { return static_cast<INT>(reinterpret_cast<INT_PTR>(h)); }

HANDLE OpenHandle(const std::string& path, bool write) {
  return ::CreateFileW(platform::win32::Wide(platform::ToNativePath(path)).c_str(),
                       write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Decodes `source` into the empty file `temp`; true when exactly `length`
// bytes reached the disk.
bool Decode(const std::string& source, const std::string& temp, std::uint32_t length) {
  const HANDLE in = OpenHandle(source, false);
  if (in == INVALID_HANDLE_VALUE) return false;
  const INT lzIn = ::LZInit(AsLzHandle(in));
  if (lzIn < 0) {
    ::CloseHandle(in);
    return false;
  }
  const HANDLE out = OpenHandle(temp, true);
  bool whole = false;
  if (out != INVALID_HANDLE_VALUE) {
    const LONG copied = ::LZCopy(lzIn, AsLzHandle(out));
    LARGE_INTEGER size{};
    whole = copied >= 0 && static_cast<std::uint32_t>(copied) == length &&
            ::FlushFileBuffers(out) && ::GetFileSizeEx(out, &size) && size.QuadPart == length;
    if (!::CloseHandle(out)) whole = false;
  }
  ::LZClose(lzIn);  // closes the source's handle as well
  return whole;
}

}  // namespace

std::optional<std::string> ExpandedLZName(const std::string& FileName) {
  const auto header = ReadSzddHeader(FileName);
  if (!header) return std::nullopt;
  std::string name = LzExpandedName(FileName, header->Missing);
  if (name.empty()) return std::nullopt;
  return name;
}

std::optional<std::string> ExpandLZ(const std::string& FileName,
                                    const std::optional<std::string>& Folder,
                                    const TPlaceFile& place) {
  const auto header = ReadSzddHeader(FileName);
  if (!header) return std::nullopt;
  const std::string expanded = LzTargetPath(FileName, header->Missing, Folder);
  if (expanded.empty()) return std::nullopt;
  // The expansion goes to a temporary file beside its target, which it
  // replaces in one step once it is whole.
  std::string temp;
  auto file =
      platform::TFile::CreateTemporary(std::string(platform::FolderPart(expanded)), "KAVR", temp);
  if (!file) return std::nullopt;
  try {
    file->Close();
  } catch (...) {
    platform::DeleteFileAt(temp);
    return std::nullopt;
  }
  if (!Decode(FileName, temp, header->Length) || !PlaceFile(place, temp, expanded)) {
    platform::DeleteFileAt(temp);
    return std::nullopt;
  }
  return expanded;
}

}  // namespace kavrel
