#include "Minisign.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

#include "SodiumInit.h"

namespace kavrel::trust {

namespace {

constexpr std::string_view kUntrusted = "untrusted comment: ";
constexpr std::string_view kTrusted = "trusted comment: ";
constexpr std::size_t kPublicKeyBytes = 2 + 8 + 32;
constexpr std::size_t kSignatureBytes = 2 + 8 + 64;
// Algorithms (2), KDF (2), checksum kind (2), salt (32), ops and memory limits
// (8 each), then key id (8), key (64) and checksum (32).
constexpr std::size_t kSecretKeyBytes = 158;
constexpr std::size_t kEncryptedOffset = 54;
constexpr std::size_t kEncryptedBytes = kSecretKeyBytes - kEncryptedOffset;

std::optional<std::vector<std::uint8_t>> FromBase64(std::string_view text) {
  EnsureSodium();
  std::vector<std::uint8_t> bytes(text.size());
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                        &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size())
    return std::nullopt;
  bytes.resize(length);
  return bytes;
}

std::string ToBase64(const std::uint8_t* bytes, std::size_t size) {
  EnsureSodium();
  std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
  text.resize(std::strlen(text.c_str()));
  return text;
}

// The lines of a file without their line ends (LF or CR LF).
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

std::array<std::uint8_t, crypto_generichash_BYTES_MAX> Prehash(std::string_view message) {
  std::array<std::uint8_t, crypto_generichash_BYTES_MAX> digest{};
  crypto_generichash(digest.data(), digest.size(), Bytes(message), message.size(), nullptr, 0);
  return digest;
}

// The checksum of a secret key: BLAKE2b-256 of its algorithm, id and key.
std::array<std::uint8_t, 32> KeyChecksum(const TSecretKey& key) {
  std::array<std::uint8_t, 32> sum{};
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, sum.size());
  crypto_generichash_update(&state, Bytes("Ed"), 2);
  crypto_generichash_update(&state, key.KeyId.data(), key.KeyId.size());
  crypto_generichash_update(&state, key.Key.data(), key.Key.size());
  crypto_generichash_final(&state, sum.data(), sum.size());
  return sum;
}

// The scrypt stream a secret key is encrypted with (XOR, its own inverse).
bool ApplyKeyStream(std::uint8_t* bytes, std::string_view password, const std::uint8_t* salt,
                    std::uint64_t ops, std::uint64_t memory) {
  std::array<std::uint8_t, kEncryptedBytes> stream{};
  if (crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.data(),
                                         password.size(), salt, ops,
                                         static_cast<std::size_t>(memory)) != 0)
    return false;
  for (std::size_t i = 0; i < stream.size(); ++i) bytes[i] ^= stream[i];
  sodium_memzero(stream.data(), stream.size());
  return true;
}

void PutLittleEndian(std::uint8_t* out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const std::uint8_t* in) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | in[i];
  return value;
}

}  // namespace

void EnsureSodium() {
  static const int initialised = sodium_init();
  (void)initialised;
}

TPublicKey TSecretKey::Public() const {
  TPublicKey key;
  key.KeyId = KeyId;
  crypto_sign_ed25519_sk_to_pk(key.Key.data(), Key.data());
  return key;
}

std::string KeyIdText(const TKeyId& id) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 7; i >= 0; --i) {
    text += kDigits[id[i] >> 4];
    text += kDigits[id[i] & 15];
  }
  return text;
}

std::optional<TPublicKey> ParsePublicKey(std::string_view base64) {
  const auto bytes = FromBase64(Trim(base64));
  if (!bytes || bytes->size() != kPublicKeyBytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd')
    return std::nullopt;
  TPublicKey key;
  std::copy_n(bytes->begin() + 2, 8, key.KeyId.begin());
  std::copy_n(bytes->begin() + 10, 32, key.Key.begin());
  return key;
}

std::optional<std::vector<TPublicKey>> ParsePublicKeyList(std::string_view text,
                                                          std::string& error) {
  std::vector<TPublicKey> keys;
  while (true) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    const std::size_t end = std::min(text.find_first_of(" \t\r\n"), text.size());
    const std::string_view word = text.substr(0, end);
    const auto key = ParsePublicKey(word);
    if (!key) {
      error = "not a public key: " + std::string(word.substr(0, 60));
      return std::nullopt;
    }
    keys.push_back(*key);
    text.remove_prefix(end);
  }
  return keys;
}

std::optional<TPublicKey> ParsePublicKeyFile(std::string_view text) {
  for (const std::string_view line : Lines(text)) {
    if (Trim(line).empty() || line.starts_with(kUntrusted)) continue;
    return ParsePublicKey(line);
  }
  return std::nullopt;
}

std::string PublicKeyBase64(const TPublicKey& key) {
  std::array<std::uint8_t, kPublicKeyBytes> bytes{'E', 'd'};
  std::copy(key.KeyId.begin(), key.KeyId.end(), bytes.begin() + 2);
  std::copy(key.Key.begin(), key.Key.end(), bytes.begin() + 10);
  return ToBase64(bytes.data(), bytes.size());
}

std::string PublicKeyFileText(const TPublicKey& key) {
  return std::string(kUntrusted) + "minisign public key " + KeyIdText(key.KeyId) + "\n" +
         PublicKeyBase64(key) + "\n";
}

std::string_view VerifyResultText(TVerifyResult result) {
  switch (result) {
    case TVerifyResult::Valid:
      return "valid signature";
    case TVerifyResult::Malformed:
      return "not a signature file";
    case TVerifyResult::UnknownKey:
      return "signed by a key that is not trusted";
    case TVerifyResult::BadSignature:
      return "signature does not match the file";
    case TVerifyResult::BadTrustedComment:
      return "trusted comment was changed";
  }
  return {};
}

TVerifyResult Verify(std::string_view message, std::string_view signatureFile,
                     const std::vector<TPublicKey>& keys, std::string* trustedComment) {
  EnsureSodium();
  const auto lines = Lines(signatureFile);
  if (lines.size() < 4 || !lines[0].starts_with(kUntrusted) || !lines[2].starts_with(kTrusted))
    return TVerifyResult::Malformed;
  const auto signature = FromBase64(Trim(lines[1]));
  const auto global = FromBase64(Trim(lines[3]));
  if (!signature || signature->size() != kSignatureBytes || !global ||
      global->size() != crypto_sign_BYTES)
    return TVerifyResult::Malformed;
  const bool prehashed = (*signature)[0] == 'E' && (*signature)[1] == 'D';
  const bool legacy = (*signature)[0] == 'E' && (*signature)[1] == 'd';
  if (!prehashed && !legacy) return TVerifyResult::Malformed;
  const auto key = std::find_if(keys.begin(), keys.end(), [&](const TPublicKey& k) {
    return std::equal(k.KeyId.begin(), k.KeyId.end(), signature->begin() + 2);
  });
  if (key == keys.end()) return TVerifyResult::UnknownKey;

  const std::uint8_t* sig = signature->data() + 10;
  int status = 0;
  if (prehashed) {
    const auto digest = Prehash(message);
    status = crypto_sign_verify_detached(sig, digest.data(), digest.size(), key->Key.data());
  } else {
    status = crypto_sign_verify_detached(sig, Bytes(message), message.size(), key->Key.data());
  }
  if (status != 0) return TVerifyResult::BadSignature;

  const std::string_view comment = lines[2].substr(kTrusted.size());
  std::vector<std::uint8_t> signedComment(sig, sig + crypto_sign_BYTES);
  signedComment.insert(signedComment.end(), comment.begin(), comment.end());
  if (crypto_sign_verify_detached(global->data(), signedComment.data(), signedComment.size(),
                                  key->Key.data()) != 0)
    return TVerifyResult::BadTrustedComment;
  if (trustedComment != nullptr) *trustedComment = std::string(comment);
  return TVerifyResult::Valid;
}

std::string Sign(std::string_view message, const TSecretKey& key, std::string_view trustedComment,
                 bool legacy) {
  EnsureSodium();
  std::array<std::uint8_t, kSignatureBytes> signature{
      'E', legacy ? std::uint8_t('d') : std::uint8_t('D')};
  std::copy(key.KeyId.begin(), key.KeyId.end(), signature.begin() + 2);
  std::uint8_t* sig = signature.data() + 10;
  if (legacy) {
    crypto_sign_detached(sig, nullptr, Bytes(message), message.size(), key.Key.data());
  } else {
    const auto digest = Prehash(message);
    crypto_sign_detached(sig, nullptr, digest.data(), digest.size(), key.Key.data());
  }
  std::vector<std::uint8_t> signedComment(sig, sig + crypto_sign_BYTES);
  signedComment.insert(signedComment.end(), trustedComment.begin(), trustedComment.end());
  std::array<std::uint8_t, crypto_sign_BYTES> global{};
  crypto_sign_detached(global.data(), nullptr, signedComment.data(), signedComment.size(),
                       key.Key.data());
  return std::string(kUntrusted) + "signature from kavrel secret key\n" +
         ToBase64(signature.data(), signature.size()) + "\n" + std::string(kTrusted) +
         std::string(trustedComment) + "\n" + ToBase64(global.data(), global.size()) + "\n";
}

TSecretKey GenerateSecretKey() {
  EnsureSodium();
  TSecretKey key;
  std::array<std::uint8_t, 32> publicKey{};
  crypto_sign_keypair(publicKey.data(), key.Key.data());
  randombytes_buf(key.KeyId.data(), key.KeyId.size());
  return key;
}

std::string SecretKeyFileText(const TSecretKey& key, const std::optional<std::string>& password) {
  EnsureSodium();
  std::array<std::uint8_t, kSecretKeyBytes> bytes{'E', 'd', 0, 0, 'B', '2'};
  std::uint8_t* salt = bytes.data() + 6;
  std::uint8_t* secret = bytes.data() + kEncryptedOffset;
  std::copy(key.KeyId.begin(), key.KeyId.end(), secret);
  std::copy(key.Key.begin(), key.Key.end(), secret + 8);
  const auto sum = KeyChecksum(key);
  std::copy(sum.begin(), sum.end(), secret + 72);
  if (password) {
    bytes[2] = 'S';
    bytes[3] = 'c';
    randombytes_buf(salt, 32);
    const std::uint64_t ops = crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_SENSITIVE;
    const std::uint64_t memory = crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_SENSITIVE;
    PutLittleEndian(bytes.data() + 38, ops);
    PutLittleEndian(bytes.data() + 46, memory);
    ApplyKeyStream(secret, *password, salt, ops, memory);
  }
  const std::string text = std::string(kUntrusted) + "minisign encrypted secret key\n" +
                           ToBase64(bytes.data(), bytes.size()) + "\n";
  sodium_memzero(bytes.data(), bytes.size());
  return text;
}

namespace {

std::optional<std::vector<std::uint8_t>> SecretKeyBytes(std::string_view text) {
  for (const std::string_view line : Lines(text)) {
    if (Trim(line).empty() || line.starts_with(kUntrusted)) continue;
    auto bytes = FromBase64(Trim(line));
    if (!bytes || bytes->size() != kSecretKeyBytes) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
}

}  // namespace

bool SecretKeyFileIsEncrypted(std::string_view text) {
  const auto bytes = SecretKeyBytes(text);
  return bytes && (*bytes)[2] == 'S' && (*bytes)[3] == 'c';
}

std::optional<TSecretKey> ReadSecretKeyFile(std::string_view text,
                                            const std::function<std::string()>& password,
                                            std::string& error) {
  auto bytes = SecretKeyBytes(text);
  if (!bytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd' || (*bytes)[4] != 'B' ||
      (*bytes)[5] != '2') {
    error = "not a secret key file";
    return std::nullopt;
  }
  const bool encrypted = (*bytes)[2] == 'S' && (*bytes)[3] == 'c';
  if (!encrypted && ((*bytes)[2] != 0 || (*bytes)[3] != 0)) {
    error = "the secret key is encrypted in a way this program does not know";
    return std::nullopt;
  }
  std::uint8_t* secret = bytes->data() + kEncryptedOffset;
  if (encrypted) {
    const std::uint64_t ops = GetLittleEndian(bytes->data() + 38);
    const std::uint64_t memory = GetLittleEndian(bytes->data() + 46);
    // The limits come from the file: refuse ones that would take more than
    // minisign's own strongest setting.
    if (ops > crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_SENSITIVE * 4ULL ||
        memory > crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_SENSITIVE * 4ULL) {
      error = "the secret key file asks for an unreasonable amount of work";
      return std::nullopt;
    }
    const std::string pass = password ? password() : std::string();
    if (!ApplyKeyStream(secret, pass, bytes->data() + 6, ops, memory)) {
      error = "not enough memory to decrypt the secret key";
      return std::nullopt;
    }
  }
  TSecretKey key;
  std::copy_n(secret, 8, key.KeyId.begin());
  std::copy_n(secret + 8, 64, key.Key.begin());
  const auto sum = KeyChecksum(key);
  // minisign leaves the checksum of an unencrypted key empty.
  const bool emptySum =
      std::all_of(secret + 72, secret + 104, [](std::uint8_t b) { return b == 0; });
  const bool sumMatches = std::equal(sum.begin(), sum.end(), secret + 72);
  sodium_memzero(bytes->data(), bytes->size());
  if (!sumMatches && (encrypted || !emptySum)) {
    error = encrypted ? "wrong password for the secret key" : "the secret key file is damaged";
    return std::nullopt;
  }
  return key;
}

}  // namespace kavrel::trust
