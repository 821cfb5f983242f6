#include "Sha256.h"

#include <sodium.h>

#include <cstring>

#include "SodiumInit.h"

namespace kavrel::trust {

static_assert(sizeof(crypto_hash_sha256_state) <= 128);

namespace {

crypto_hash_sha256_state* State(std::array<std::uint8_t, 128>& bytes) {
  return reinterpret_cast<crypto_hash_sha256_state*>(bytes.data());
}

}  // namespace

TSha256::TSha256() {
  EnsureSodium();
  crypto_hash_sha256_init(State(state_));
}

void TSha256::Add(std::span<const std::uint8_t> bytes) {
  crypto_hash_sha256_update(State(state_), bytes.data(), bytes.size());
}

void TSha256::Add(std::string_view bytes) {
  crypto_hash_sha256_update(State(state_), reinterpret_cast<const unsigned char*>(bytes.data()),
                            bytes.size());
}

TSha256::TDigest TSha256::Digest() {
  TDigest digest{};
  crypto_hash_sha256_final(State(state_), digest.data());
  return digest;
}

std::string TSha256::HexDigest() { return HexText(Digest()); }

std::string HexText(std::span<const std::uint8_t> bytes) {
  std::string hex(2 * bytes.size() + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
  hex.pop_back();
  return hex;
}

std::string Sha256Hex(std::string_view bytes) {
  TSha256 hash;
  hash.Add(bytes);
  return hash.HexDigest();
}

std::optional<std::string> NormalizedSha256(std::string_view text) {
  if (text.size() != 64) return std::nullopt;
  std::string value;
  for (const char c : text) {
    if (c >= '0' && c <= '9')
      value += c;
    else if (c >= 'a' && c <= 'f')
      value += c;
    else if (c >= 'A' && c <= 'F')
      value += static_cast<char>(c - 'A' + 'a');
    else
      return std::nullopt;
  }
  return value;
}

}  // namespace kavrel::trust
