#include "FuzzSupport.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace kavrel::fuzz {

namespace {

namespace fs = std::filesystem;

std::string MakeScratch() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kavrel-fuzz-XXXXXX";
  Check(::mkdtemp(pattern.data()) != nullptr, "cannot make the scratch folder");
  for (const char* sub : {"tmp", "home", "home/Documents", "config", "runtime", "registry"})
    fs::create_directories(pattern + "/" + sub);
  ::setenv("TMPDIR", (pattern + "/tmp").c_str(), 1);
  ::setenv("HOME", (pattern + "/home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (pattern + "/runtime").c_str(), 1);
  ::setenv("KAVREL_REGISTRY_DIR", (pattern + "/registry").c_str(), 1);
  ::setenv("KAVREL_WINDIR", (pattern + "/windows").c_str(), 1);
  ::setenv("KAVREL_SYSDIR", (pattern + "/system").c_str(), 1);
  return pattern;
}

struct TScratchOwner {
  std::string path = MakeScratch();
  ~TScratchOwner() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

}  // namespace

const std::string& Scratch() {
  static const TScratchOwner owner;
  return owner.path;
}

// Made before anything runs, so that no target reaches the system's own
// folders before it has asked for the scratch folder.
[[maybe_unused]] static const bool kScratchMade = !Scratch().empty();

void Check(bool condition, std::string_view what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

void WriteWholeFile(const std::string& path, std::string_view data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  Check(static_cast<bool>(out), "cannot write " + path);
}

std::vector<std::string> TreeBelow(const std::string& folder) {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    paths.push_back(fs::relative(entry.path(), folder).string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

void EmptyFolder(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
}

}  // namespace kavrel::fuzz
