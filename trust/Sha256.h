// SHA-256 of files and texts, as a signed control file names them: 64
// lower-case hexadecimal digits.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kavrel::trust {

class TSha256 {
 public:
  TSha256();
  void Add(std::span<const std::uint8_t> bytes);
  void Add(std::string_view bytes);
  using TDigest = std::array<std::uint8_t, 32>;
  // The digest; the object is finished afterwards.
  TDigest Digest();
  // The digest in hexadecimal; the object is finished afterwards.
  std::string HexDigest();

 private:
  alignas(64) std::array<std::uint8_t, 128> state_{};  // crypto_hash_sha256_state
};

std::string Sha256Hex(std::string_view bytes);
// Bytes as lower-case hexadecimal digits.
std::string HexText(std::span<const std::uint8_t> bytes);

// The value a control file gives, in lower case; nothing when it is not 64
// hexadecimal digits.
std::optional<std::string> NormalizedSha256(std::string_view text);

}  // namespace kavrel::trust
