// What a path separator is, decided in one place. Control files are written for
// many machines and use "\" between path parts; on every system both "\" and "/"
// separate parts, and the file-system layer turns them into the native form
// just before it calls the operating system.
#pragma once

#include <string>
#include <string_view>

namespace kavrel::platform {

#ifdef _WIN32
inline constexpr char kNativeSeparator = '\\';
#else
inline constexpr char kNativeSeparator = '/';
#endif

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

inline bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && IsPathSeparator(path.back());
}

inline bool ContainsSeparator(std::string_view path) {
  return path.find_first_of("\\/") != std::string_view::npos;
}

// The path with every separator in the native form.
inline std::string ToNativePath(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (IsPathSeparator(c)) c = kNativeSeparator;
  return out;
}

// Length of the root of a path that is absolute on a drive: "C:\" on every
// system, and a single leading separator on POSIX systems; 0 for anything else
// (relative paths, network paths "\\server\share").
inline std::size_t DriveRootLength(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && IsPathSeparator(path[2])) return 3;
#ifndef _WIN32
  if (!path.empty() && IsPathSeparator(path[0]) && !(path.size() > 1 && IsPathSeparator(path[1])))
    return 1;
#endif
  return 0;
}

// The last part of a path (after its last separator).
inline std::string_view BaseName(std::string_view path) {
  const std::size_t pos = path.find_last_of("\\/");
  return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

// The folder part of a path: everything before its last separator; empty for
// a bare name; the root itself for a name in the root.
inline std::string_view FolderPart(std::string_view path) {
  const std::size_t pos = path.find_last_of("\\/");
  if (pos == std::string_view::npos) return {};
  return path.substr(0, pos == 0 ? 1 : pos);
}

}  // namespace kavrel::platform
