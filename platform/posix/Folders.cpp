#include "Folders.h"

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

}  // namespace

std::string TempFolder() {
  const auto tmp = GetEnvironment("TMPDIR");
  if (tmp && !tmp->empty()) return WithoutTrailingSeparator(*tmp);
  return "/tmp";
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
