#include "SettingsFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "Errors.h"
#include "Files.h"
#include "IniDocument.h"
#include "PathNames.h"
#include "Text.h"

namespace kavrel::launcher {

namespace {

// A settings file holds an address and a few keys; one larger than this is
// none, and is refused rather than read whole.
constexpr std::size_t kMaxSettingsSize = 1024 * 1024;

std::string ReadAll(const std::string& path) {
  int error = 0;
  auto file = platform::TFile::Open(path, platform::TFile::Mode::Read, &error);
  if (!file)
    throw platform::EInOutError(
        "Cannot open file \"" + path + "\". " + platform::SystemErrorText(error), error);
  std::string data;
  char block[65536];
  while (const std::size_t n = file->Read(block, sizeof block)) {
    data.append(block, n);
    if (data.size() > kMaxSettingsSize)
      throw platform::EInOutError("The file \"" + path + "\" is too large for a settings file",
                                  platform::ErrorNumber(platform::TErrorKind::InvalidArgument));
  }
  file->Close();
  return data;
}

int SettingsKey() { return ParseInt32(kSettingsKey).value_or(0); }

}  // namespace

std::string ScrambleBytes(std::string_view data, int key) {
  const auto k = static_cast<std::uint16_t>(key);
  std::string out(data);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto mask = static_cast<std::uint8_t>(k >> (i % 32));
    out[i] = static_cast<char>(~(static_cast<std::uint8_t>(out[i]) ^ mask));
  }
  return out;
}

void ScrambleFile(const std::string& Source, const std::string& Target, int Key) {
  // Written where a link leads, never replacing the link; a target that is
  // no regular file (a device, a folder) is refused.
  const auto destination = platform::RegularFileDestination(Target);
  if (!destination)
    throw platform::EInOutError("\"" + Target + "\" is not a regular file",
                                platform::ErrorNumber(platform::TErrorKind::InvalidArgument));
  platform::WriteFileAtomically(*destination, ScrambleBytes(ReadAll(Source), Key));
}

std::string ReadSettingsAddress(const std::string& folder) { return ReadSettings(folder).Address; }

TLauncherSettings ReadSettings(const std::string& folder) {
  const std::string plain =
      ScrambleBytes(ReadAll(platform::ToNativePath(folder + kSettingsFileName)), SettingsKey());
  const TIniDocument ini = TIniDocument::Parse(plain);
  return {ini.ReadString("Conf", "Add", ""),
          ini.ReadString("Conf", "Key", ""),
          ini.ReadString("Conf", "Product", ""),
          ini.ReadString("Conf", "Run", ""),
          ini.ReadInteger("Conf", "ApplyPatch", 0) != 0,
          std::clamp(ini.ReadInteger("Conf", "HealthCheck", 0), 0, 3600)};
}

}  // namespace kavrel::launcher
