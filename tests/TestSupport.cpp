#include "TestSupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

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

std::string GetEnvironmentOr(const std::string& name, const std::string& fallback) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : fallback;
}

}  // namespace kavrel::test
