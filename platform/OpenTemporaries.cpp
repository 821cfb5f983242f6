#include "OpenTemporaries.h"

#include <cstdio>
#include <mutex>
#include <set>

#include "Files.h"

namespace kavrel::platform {

namespace {

std::mutex gMutex;
std::set<std::string> gOpen;

}  // namespace

void RegisterOpenTemporary(const std::string& path) {
  std::lock_guard lock(gMutex);
  gOpen.insert(path);
}

void ForgetOpenTemporary(const std::string& path) {
  std::lock_guard lock(gMutex);
  gOpen.erase(path);
}

void DeleteOpenTemporaryFiles() {
  // Called on the way out of a process that may be anywhere: never wait.
  std::unique_lock lock(gMutex, std::try_to_lock);
  if (!lock) return;
  for (const std::string& path : gOpen) DeleteFileAt(path);
  gOpen.clear();
}

}  // namespace kavrel::platform
