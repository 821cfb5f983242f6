// Cabinets for the tests: made by Debian's gcab from real files, or written
// byte by byte (stored data, no checksums) where a test needs what no
// cabinet tool writes: a hostile name, a file longer than its data, a cabinet
// that belongs to a set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavrel::test {

struct TCabinetEntry {
  std::string Name;  // as stored, separators and all
  std::string Data;
  std::uint16_t Attribs = 0x20;
  std::uint32_t DeclaredLength = 0;  // 0: the data's own length
};

// A cabinet image of one stored folder; `flags` go into its header (with the
// neighbour names a set's flags need).
std::string StoredCabinet(const std::vector<TCabinetEntry>& entries, std::uint16_t flags = 0);

// Runs gcab in `folder` to make `cabinet` from the named files (relative to
// `folder`); `compress` asks for MSZIP. Fails the test when gcab fails.
void MakeCabinetWithGcab(const std::string& folder, const std::string& cabinet,
                         const std::vector<std::string>& names, bool compress);

// The files of a folder, recursively, as paths relative to it; folders are not
// listed.
std::vector<std::string> FilesBelow(const std::string& folder);
// Copies the files below `from` to the same places below `to`; nothing when
// `from` is missing.
void CopyFilesBelow(const std::string& from, const std::string& to);

}  // namespace kavrel::test
