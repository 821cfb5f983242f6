#include "Folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "Errors.h"
#include "Files.h"
#include "PathNames.h"
#include "System.h"

namespace kavrel::platform {

namespace {

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && EndsWithSeparator(path)) path.pop_back();
  return path;
}

// The documents entry of the user's folder settings, as the desktop keeps it in
// user-dirs.dirs: XDG_DOCUMENTS_DIR="$HOME/Documents".
std::string XdgDocumentsEntry(const std::string& home) {
  std::string config = GetEnvironment("XDG_CONFIG_HOME").value_or("");
  if (config.empty()) config = home + "/.config";
  const auto content = ReadWholeFile(config + "/user-dirs.dirs");
  if (!content) return {};
  const std::string key = "XDG_DOCUMENTS_DIR=";
  std::size_t pos = 0;
  while ((pos = content->find(key, pos)) != std::string::npos) {
    if (pos == 0 || (*content)[pos - 1] == '\n') {
      std::size_t end = content->find('\n', pos);
      std::string value = content->substr(
          pos + key.size(), end == std::string::npos ? std::string::npos : end - pos - key.size());
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
      return value;
    }
    pos += key.size();
  }
  return {};
}

std::string gTempFolderNote;

// A real folder (no link) of this user that nobody else may enter.
bool OwnPrivateFolder(const std::string& folder) {
  struct stat st {};
  return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 077) == 0;
}

// Whether somebody else may place or replace entries in the folder.
bool OpenToOthers(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return false;
  return st.st_uid != ::geteuid() || (st.st_mode & 022) != 0;
}

// The user's cache folder: $XDG_CACHE_HOME, else ~/.cache.
std::string CacheFolder() {
  const auto cache = GetEnvironment("XDG_CACHE_HOME");
  if (cache && !cache->empty()) return WithoutTrailingSeparator(*cache);
  const auto home = GetEnvironment("HOME");
  return home && !home->empty() ? WithoutTrailingSeparator(*home) + "/.cache" : std::string();
}

// A temporary folder belongs to one user, as on systems where each user has
// one: /tmp is shared by everybody, and what another user leaves there (a file
// named like a control file, a program named like the updater) must never be
// read or started as this user. So the folder is made for this user alone
// below `base` and used only while it is a real folder of this user with no
// access for others. When another user took its name first, a folder of the
// user's cache serves instead (the same one every time, so that a run, its
// updater stub and the next run meet there), and failing that a fresh one
// below `base`, which this process's children then find through TMPDIR.
std::string PrivateFolderBelow(const std::string& base) {
  const std::string folder = base + "/kavrel-" + std::to_string(::geteuid());
  ::mkdir(folder.c_str(), 0700);
  if (OwnPrivateFolder(folder)) return folder;
  const std::string taken = "The temporary folder " + folder +
                            " is not a folder of this user alone (another user made it first?)";
  if (const std::string cache = CacheFolder(); !cache.empty()) {
    ForceDirectories(cache);
    const std::string mine = cache + "/kavrel-tmp";
    ::mkdir(mine.c_str(), 0700);
    if (OwnPrivateFolder(mine)) {
      gTempFolderNote = taken + "; using " + mine;
      return mine;
    }
  }
  std::string made = base + "/kavrel-" + std::to_string(::geteuid()) + "-XXXXXX";
  if (::mkdtemp(made.data()) == nullptr || !OwnPrivateFolder(made))
    throw EInOutError(taken + ", and no other could be made: " + SystemErrorText(errno), EACCES);
  ::setenv("TMPDIR", made.c_str(), 1);
  gTempFolderNote = taken + "; using " + made;
  return made;
}

}  // namespace

std::string TempFolder() {
  const auto tmp = GetEnvironment("TMPDIR");
  if (tmp && !tmp->empty()) {
    // A TMPDIR others may write into (/tmp itself, a group's folder) gets the
    // same care as /tmp: this user's files go into a folder of its own there.
    const std::string folder = WithoutTrailingSeparator(*tmp);
    return OpenToOthers(folder) ? PrivateFolderBelow(folder) : folder;
  }
  const auto runtime = GetEnvironment("XDG_RUNTIME_DIR");
  return PrivateFolderBelow(runtime && !runtime->empty() && DirectoryExists(*runtime)
                                ? WithoutTrailingSeparator(*runtime)
                                : std::string("/tmp"));
}

std::string TempFolderNote() { return gTempFolderNote; }

// The desktop's documents folder when it exists, else ~/Documents when it
// exists, else the home folder itself, so that a user's log never lands in
// whatever folder a program happened to start in.
std::string DocumentsFolder() {
  const auto home = GetEnvironment("HOME");
  if (!home || home->empty()) return {};
  const std::string xdg = XdgDocumentsEntry(*home);
  if (!xdg.empty() && DirectoryExists(xdg)) return WithoutTrailingSeparator(xdg);
  const std::string documents = WithoutTrailingSeparator(*home) + "/Documents";
  if (DirectoryExists(documents)) return documents;
  return DirectoryExists(*home) ? WithoutTrailingSeparator(*home) : std::string();
}

std::string WindowsFolder() {
  const auto dir = GetEnvironment("KAVREL_WINDIR");
  return dir && !dir->empty() ? WithoutTrailingSeparator(*dir) : "/usr/local/share";
}

std::string SystemFolder() {
  const auto dir = GetEnvironment("KAVREL_SYSDIR");
  return dir && !dir->empty() ? WithoutTrailingSeparator(*dir) : "/usr/local/lib";
}

}  // namespace kavrel::platform
