// What cabinet extraction and LZ expansion decide alike on every system: which
// stored names may be written, what a compressed file expands to, and when a
// compressed file has been dealt with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kavrel {

// The name a compressed file expands to, given the character its header
// records (0 for none); empty when that character could not end a name (a
// separator, a drive mark, a dot, a control character).
std::string LzExpandedName(const std::string& name, char missing);
// Where a compressed file expands to: its expanded name in `folder` (ending
// with a separator, or empty for the current folder) when one is given, else
// beside the file; empty as for LzExpandedName.
std::string LzTargetPath(const std::string& name, char missing,
                         const std::optional<std::string>& folder);

// The header of a file in the LZ format: "SZDD", the signature bytes 88 F0 27
// 33, the method 'A', the character the name lacks and the expanded length.
struct TSzddHeader {
  char Missing = 0;
  std::uint32_t Length = 0;
};
inline constexpr std::size_t kSzddHeaderSize = 14;
// Nothing when the bytes are not such a header.
std::optional<TSzddHeader> ParseSzddHeader(const unsigned char (&bytes)[kSzddHeaderSize]);
// The header of a file; nothing when it cannot be read or is no LZ file.
std::optional<TSzddHeader> ReadSzddHeader(const std::string& path);

}  // namespace kavrel
