#include "SettingsFile.h"

#include <cerrno>
#include <cstdint>

#include "Errors.h"
#include "Files.h"
#include "IniDocument.h"
#include "PathNames.h"
#include "Text.h"

namespace kavrel::launcher {

namespace {

std::string ReadAll(const std::string& path) {
  int error = 0;
  auto file = platform::TFile::Open(path, platform::TFile::Mode::Read, &error);
  if (!file)
    throw platform::EInOutError(
        "Cannot open file \"" + path + "\". " + platform::SystemErrorText(error), error);
  std::string data;
  char block[65536];
  while (const std::size_t n = file->Read(block, sizeof block)) data.append(block, n);
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
  platform::WriteFileAtomically(Target, ScrambleBytes(ReadAll(Source), Key));
}

std::string ReadSettingsAddress(const std::string& folder) { return ReadSettings(folder).Address; }

TLauncherSettings ReadSettings(const std::string& folder) {
  const std::string plain =
      ScrambleBytes(ReadAll(platform::ToNativePath(folder + kSettingsFileName)), SettingsKey());
  const TIniDocument ini = TIniDocument::Parse(plain);
  return {ini.ReadString("Conf", "Add", ""), ini.ReadString("Conf", "Key", ""),
          ini.ReadString("Conf", "Product", "")};
}

}  // namespace kavrel::launcher
