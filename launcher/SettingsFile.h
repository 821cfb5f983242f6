// The launcher's settings file: INI text stored scrambled, holding the address
// of the update control file (key "Add" of section "Conf") and, for signed
// updates, the publisher's public keys ("Key") and the product ("Product").
#pragma once

#include <string>
#include <string_view>

namespace kavrel::launcher {

// The key, converted to a number each time it is needed; only its low 16 bits
// take part.
inline constexpr const char* kSettingsKey = "5190347";
// Below the folder the launcher starts in.
inline constexpr const char* kSettingsFileName = "\\Data\\Sound\\QZ.au";

// The byte transform: the byte at position i becomes NOT (b XOR m), m being the
// key's low 16 bits shifted right by i mod 32, its lowest 8 bits. Its own inverse.
std::string ScrambleBytes(std::string_view data, int key);

// Reads `Source` whole, transforms every byte and writes the result to `Target`
// (replaced in one step). Raises platform::EInOutError when either fails.
void ScrambleFile(const std::string& Source, const std::string& Target, int Key);

// The control file's address from the settings file below `folder`: the file
// is unscrambled in memory and never rewritten, so that it stays scrambled on
// disk whatever happens. Empty without the section or key. Raises
// platform::EInOutError when the file cannot be read.
std::string ReadSettingsAddress(const std::string& folder);

struct TLauncherSettings {
  std::string Address;    // "Add"
  std::string PublicKey;  // "Key": the engine's PublicKey
  std::string Product;    // "Product": the engine's ProductID
  // "Run": the application with its parameters, relative to the launcher's
  // folder, started directly by every run that ends without a handoff.
  std::string Run;
  // "ApplyPatch": 1 lets the run apply patches with the utility the launcher
  // carries; without it, patches are fetched and left alone.
  bool ApplyPatch = false;
  // "HealthCheck": seconds the updater watches the restarted application
  // where the control file names no "healthcheck" (the engine's
  // DefaultHealthCheck); 0: none.
  int HealthCheck = 0;
};
// All the settings, read as ReadSettingsAddress reads the address.
TLauncherSettings ReadSettings(const std::string& folder);

}  // namespace kavrel::launcher
