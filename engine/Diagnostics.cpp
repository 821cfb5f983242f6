// The start-of-run diagnostics: the system's version, the browser version, the
// build tool and the development tools found in the registry.
#include <array>
#include <utility>

#include "Kavrel.h"
#include "Registry.h"
#include "System.h"

namespace kavrel {

namespace {

// Development tools whose registry keys the diagnostics look for, with the tag
// each adds to message 970.
constexpr std::array<std::pair<const char*, const char*>, 9> kDevelopmentTools = {{
    {"Software\\GNU\\GCC", "GCC"},
    {"Software\\LLVM\\Clang", "CLANG"},
    {"Software\\Kitware\\CMake", "CMAKE"},
    {"Software\\MinGW-w64", "MINGW"},
    {"Software\\Microsoft\\VisualStudio\\17.0", "VS17"},
    {"Software\\Microsoft\\VisualStudio\\16.0", "VS16"},
    {"Software\\Qt\\QtCreator", "QTC"},
    {"Software\\Eclipse\\CDT", "ECDT"},
    {"Software\\CodeBlocks", "CB"},
}};

std::optional<platform::TRegistryKey> OpenMachineKey(const char* path) {
  return platform::OpenRegistryKey(platform::TRegRoot::LocalMachine, path,
                                   platform::TRegAccess::Full, false);
}

}  // namespace

bool IsVistaOrLater() { return platform::BasicServicesHaveLocaleInfoEx(); }

void TKavrel::GetOSVersion(std::string& Text) {
  const platform::TOsVersion v = platform::OsVersion();
  Text = std::to_string(v.Major) + "." + std::to_string(v.Minor);
  if (IsVistaOrLater()) Text += "(Vista)";
}

void TKavrel::GetIEVersion(std::string& Text) {
  Text = "(not found)";
  if (auto key = OpenMachineKey("Software\\Microsoft\\Internet Explorer\\Version Vector"))
    Text = key->ReadString("IE").value_or("");
}

void TKavrel::GetCompilerTag(std::string& Text) {
#if defined(__clang__)
  Text = "Clang " + std::to_string(__clang_major__) + "." + std::to_string(__clang_minor__);
#elif defined(__GNUC__)
  Text = "GCC " + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__);
#else
  Text = "C++";
#endif
}

void TKavrel::GetInstalledIDEs(std::string& Text) {
  Text.clear();
  for (const auto& [path, tag] : kDevelopmentTools)
    if (OpenMachineKey(path)) Text += tag;
}

}  // namespace kavrel
