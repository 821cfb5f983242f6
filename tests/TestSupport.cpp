#include "TestSupport.h"

#include <gtest/gtest.h>

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

#include "Folders.h"
#include "PathNames.h"
#include "System.h"

namespace kavrel::test {

namespace fs = std::filesystem;

TTempDir::TTempDir() {
#ifdef _WIN32
  // The temporary folder Windows gives this user, under a name of its own.
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("kavrel-test-" + std::to_string(random() % 1000000000u));
    std::error_code error;
    if (fs::create_directory(candidate, error)) path_ = candidate.string();
  }
  if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
#else
  std::string pattern = "/tmp/kavrel-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot create a temporary folder under /tmp");
  path_ = pattern;
#endif
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TTempDir::File(std::string_view name) const {
  return path_ + platform::kNativeSeparator + std::string(name);
}

namespace {

void SetOrRemoveEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // The C runtime passes the change on to the process's own environment.
  ::_putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
#endif
}

}  // namespace

TScopedEnv::TScopedEnv(std::string name, std::optional<std::string> value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) saved_ = old;
  SetOrRemoveEnvironment(name_, value);
}

TScopedEnv::~TScopedEnv() { SetOrRemoveEnvironment(name_, saved_); }

TScopedRegistry::TScopedRegistry(std::string userKey) : userKey_(std::move(userKey)) {
#ifdef _WIN32
  DeleteUserRegistryKey(userKey_, true);
#endif
}

TScopedRegistry::~TScopedRegistry() {
#ifdef _WIN32
  DeleteUserRegistryKey(userKey_, true);
#endif
}

#ifdef _WIN32
TScopedRunFolders::TScopedRunFolders(const std::string& documents, const std::string&)
    : documents_(documents), system_(platform::SystemFolder()) {}
#else
TScopedRunFolders::TScopedRunFolders(const std::string&, const std::string& system)
    : system_(system) {}
#endif

TScopedTempFolder::TScopedTempFolder(const std::string& path) {
#ifdef _WIN32
  SetOrRemoveEnvironment("TMP", path);
  SetOrRemoveEnvironment("TEMP", path);
#else
  SetOrRemoveEnvironment("TMPDIR", path);
#endif
}

TScopedCurrentDir::TScopedCurrentDir(const std::string& path)
    : saved_(fs::current_path().string()) {
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

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::optional<std::string> WaitForFile(const std::string& path) {
  std::optional<std::string> content;
  WaitUntil([&] { return (content = ReadFile(path)) && !content->empty(); });
  return content && !content->empty() ? content : std::nullopt;
}

std::vector<std::string> WaitForFileLines(const std::string& path, std::size_t count) {
  WaitUntil([&] { return FileLines(path).size() >= count; });
  // A writer that is still at it finishes its line.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return FileLines(path);
}

TEnvironment RunEnvironment(const TRunFolders& folders) {
  TEnvironment env;
  const auto give = [&env](const char* name, const std::string& value) {
    if (!value.empty()) env.emplace_back(name, value);
  };
#ifdef _WIN32
  give("TMP", folders.Temp);
  give("TEMP", folders.Temp);
#else
  give("TMPDIR", folders.Temp);
  give("HOME", folders.Home);
  give("KAVREL_REGISTRY_DIR", folders.Hives);
#endif
  return env;
}

std::string ControlFile(const std::vector<TSection>& files, const std::string& extra) {
  std::string ini = "[update]\r\nunconditional=1\r\n" + extra +
                    "[files]\r\ncount=" + std::to_string(files.size()) + "\r\n";
  for (std::size_t i = 0; i < files.size(); ++i) {
    ini += "[file" + std::to_string(i + 1) + "]\r\n";
    for (const std::string& line : files[i]) ini += line + "\r\n";
  }
  return ini;
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
