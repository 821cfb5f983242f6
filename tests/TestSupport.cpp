#include "TestSupport.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <random>
#include <regex>
#include <stdexcept>
#include <thread>

#include "System.h"

namespace kavrel::test {

namespace fs = std::filesystem;

TTempDir::TTempDir() {
  std::string pattern = "/tmp/kavrel-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot create a temporary folder under /tmp");
  path_ = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TTempDir::File(std::string_view name) const { return path_ + "/" + std::string(name); }

TScopedEnv::TScopedEnv(std::string name, std::optional<std::string> value)
    : name_(std::move(name)) {
  if (const char* old = ::getenv(name_.c_str())) saved_ = old;
  if (value)
    ::setenv(name_.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

TScopedEnv::~TScopedEnv() {
  if (saved_)
    ::setenv(name_.c_str(), saved_->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

TScopedCurrentDir::TScopedCurrentDir(const std::string& path) : saved_(fs::current_path()) {
  fs::current_path(path);
}

TScopedCurrentDir::~TScopedCurrentDir() {
  std::error_code ignored;
  fs::current_path(saved_, ignored);
}

void WriteFile(const std::string& path, std::string_view content) {
  const fs::path target(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  ASSERT_TRUE(out) << "cannot write " << path;
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

bool IsTemporaryName(std::string_view name) {
  static const std::regex form("KAV[0-9A-F]{1,4}\\.tmp");
  return std::regex_match(name.begin(), name.end(), form);
}

void WriteScript(const std::string& path, const std::string& script, mode_t mode) {
  WriteFile(path, "#!/bin/sh\n" + script + "\n");
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

std::vector<std::string> FileLines(const std::string& path) {
  std::vector<std::string> lines;
  const std::string text = ReadFile(path).value_or("");
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> WaitForFileLines(const std::string& path, std::size_t count) {
  for (int i = 0; i < 1000 && FileLines(path).size() < count; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // A writer that is still at it finishes its line.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return FileLines(path);
}

bool RunUnprivileged(const std::function<bool()>& check) {
  if (::geteuid() != 0) return check();
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    const bool dropped =
        ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
    ::_exit(dropped && check() ? 0 : 1);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> TabFields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::string RegionalSettings() {
  const char* c = std::setlocale(LC_ALL, nullptr);
  const TFormatSettings dates = platform::UserFormatSettings();
  return std::string("C locale ") + (c != nullptr ? c : "?") + "; C++ locale " +
         std::locale().name() + "; dates " + dates.ShortDateFormat + " " + dates.DateSeparator +
         "; times " + dates.LongTimeFormat + " " + dates.TimeSeparator + " " + dates.TimeAMString +
         "/" + dates.TimePMString;
}

std::string GetEnvironmentOr(const std::string& name, const std::string& fallback) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : fallback;
}

}  // namespace kavrel::test
