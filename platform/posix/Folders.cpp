#include "Folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

// A temporary folder belongs to one user, as on systems where each user has
// one: /tmp is shared by everybody, and what another user leaves there (a file
// named like a control file, a program named like the updater) must never be
// read or started as this user. So the folder is made for this user alone and
// used only while it is a real folder of this user with no access for others.
std::string PrivateTempFolder() {
  const auto runtime = GetEnvironment("XDG_RUNTIME_DIR");
  const std::string base = runtime && !runtime->empty() && DirectoryExists(*runtime)
                               ? WithoutTrailingSeparator(*runtime)
                               : std::string("/tmp");
  const std::string folder = base + "/kavrel-" + std::to_string(::geteuid());
  ::mkdir(folder.c_str(), 0700);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0)
    throw EInOutError(
        "Cannot create the temporary folder " + folder + ": " + SystemErrorText(errno), errno);
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
    throw EInOutError(
        "The temporary folder " + folder + " is refused: it is not a folder of this user alone",
        EACCES);
  return folder;
}

}  // namespace

std::string TempFolder() {
  const auto tmp = GetEnvironment("TMPDIR");
  if (tmp && !tmp->empty()) return WithoutTrailingSeparator(*tmp);
  return PrivateTempFolder();
}

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
