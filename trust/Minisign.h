// Signatures in the minisign formats (Ed25519): public keys, signature files
// and secret key files as the minisign tool reads and writes them, so that a
// publisher signs with either tool and any machine verifies with this one.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::trust {

using TKeyId = std::array<std::uint8_t, 8>;

struct TPublicKey {
  TKeyId KeyId{};
  std::array<std::uint8_t, 32> Key{};
};

struct TSecretKey {
  TKeyId KeyId{};
  std::array<std::uint8_t, 64> Key{};  // seed and public key, as Ed25519 keeps them
  TPublicKey Public() const;
};

// A key's id as minisign prints it: 16 upper-case hexadecimal digits.
std::string KeyIdText(const TKeyId& id);

// One public key in its base64 form ("RW..."); nothing when it is not one.
std::optional<TPublicKey> ParsePublicKey(std::string_view base64);
// Keys separated by blanks; nothing (and `error` says which) when any is not a key.
std::optional<std::vector<TPublicKey>> ParsePublicKeyList(std::string_view text,
                                                          std::string& error);
// A public key file: its comment line and the key, or the key alone.
std::optional<TPublicKey> ParsePublicKeyFile(std::string_view text);
std::string PublicKeyBase64(const TPublicKey& key);
std::string PublicKeyFileText(const TPublicKey& key);

enum class TVerifyResult {
  Valid,
  Malformed,          // not a signature file
  UnknownKey,         // signed by a key that is not trusted
  BadSignature,       // the signed bytes differ
  BadTrustedComment,  // the trusted comment was changed
};
std::string_view VerifyResultText(TVerifyResult result);

// Checks a signature file's text over `message` with any of `keys`; both
// signature kinds (prehashed "ED" and legacy "Ed") verify. The trusted comment
// goes to `trustedComment` when the signature is valid.
TVerifyResult Verify(std::string_view message, std::string_view signatureFile,
                     const std::vector<TPublicKey>& keys, std::string* trustedComment = nullptr);

// A signature file over `message`: prehashed unless `legacy`. The trusted
// comment must hold no line break.
std::string Sign(std::string_view message, const TSecretKey& key, std::string_view trustedComment,
                 bool legacy = false);

TSecretKey GenerateSecretKey();

// A secret key file; with a password the key is encrypted as minisign
// encrypts it (scrypt), without one it is stored as minisign -W stores it.
std::string SecretKeyFileText(const TSecretKey& key, const std::optional<std::string>& password);
bool SecretKeyFileIsEncrypted(std::string_view text);
// Reads a secret key file, asking `password` for the password when the key is
// encrypted. Nothing, with `error` set, when the file is not a key or the
// password is wrong.
std::optional<TSecretKey> ReadSecretKeyFile(std::string_view text,
                                            const std::function<std::string()>& password,
                                            std::string& error);

}  // namespace kavrel::trust
