#include "SigningCommands.h"

#include <chrono>
#include <ostream>

#include "CommandOperands.h"
#include "Errors.h"
#include "FileDigest.h"
#include "Files.h"
#include "Minisign.h"
#include "PathNames.h"
#include "System.h"

namespace kavrel {

namespace {

constexpr const char* kDefaultPublicKey = "minisign.pub";
constexpr const char* kDefaultSecretKey = "minisign.key";
// Signed files are read whole: control files and what they name, not disks.
constexpr std::size_t kMaxSignedFile = std::size_t{1} << 31;

std::optional<std::string> ReadFile(const std::string& path, std::size_t limit, std::ostream& err) {
  if (auto bytes = platform::ReadWholeFile(path, limit)) return bytes;
  err << "kavrel: cannot read " << path
      << (platform::FileExists(path) ? " (or it is too large)" : ": no such file") << '\n';
  return std::nullopt;
}

// Writes a new file; a secret one is made private before anything is in it.
bool WriteNewFile(const std::string& path, const std::string& text, bool secret, bool force,
                  std::ostream& err) {
  if (force) platform::DeleteFileAt(path);
  int error = 0;
  auto file = platform::TFile::Open(path, platform::TFile::Mode::CreateNew, &error);
  if (!file) {
    err << "kavrel: cannot create " << path << ": " << platform::SystemErrorText(error)
        << (platform::FileExists(path) ? " (-f replaces it)" : "") << '\n';
    return false;
  }
  try {
    if (secret) platform::MakePrivate(path);
    file->Write(text);
    file->Sync();
    file->Close();
  } catch (const platform::EInOutError& e) {
    file.reset();
    platform::DeleteFileAt(path);
    err << "kavrel: " << e.what() << '\n';
    return false;
  }
  return true;
}

std::optional<std::string> AskPassword(const std::string& prompt, std::ostream& err) {
  auto password = platform::ReadHiddenLine(prompt);
  if (!password) err << "kavrel: no password given\n";
  return password;
}

// The name a signature file records: the file's own, without its folder.
std::string BaseName(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

int KeygenCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string usage = "kavrel keygen [-W] [-f] [-p PUBLICKEYFILE] [-s SECRETKEYFILE]";
  bool unprotected = false, force = false;
  std::string publicPath = kDefaultPublicKey, secretPath = kDefaultSecretKey;
  std::vector<std::string> operands;
  if (!TakeOperands(args, 0, usage, err, operands, {{"-W", &unprotected}, {"-f", &force}},
                    {{"-p", &publicPath}, {"-s", &secretPath}}))
    return 2;
  if (!force && (platform::FileExists(publicPath) || platform::FileExists(secretPath))) {
    err << "kavrel: " << (platform::FileExists(secretPath) ? secretPath : publicPath)
        << " exists already (-f replaces it)\n";
    return 1;
  }
  std::optional<std::string> password;
  if (!unprotected) {
    password = AskPassword("Password: ", err);
    if (!password) return 1;
    const auto again = AskPassword("Password (again): ", err);
    if (!again) return 1;
    if (*again != *password) {
      err << "kavrel: the passwords differ\n";
      return 1;
    }
  }
  const trust::TSecretKey key = trust::GenerateSecretKey();
  if (!WriteNewFile(secretPath, trust::SecretKeyFileText(key, password), true, force, err) ||
      !WriteNewFile(publicPath, trust::PublicKeyFileText(key.Public()), false, force, err))
    return 1;
  out << "The secret key is in " << secretPath << ": keep it secret.\n"
      << "The public key is in " << publicPath << "; give it to the engine as PublicKey:\n"
      << trust::PublicKeyBase64(key.Public()) << '\n';
  return 0;
}

std::optional<trust::TSecretKey> ReadSecretKey(const std::string& path, std::ostream& err) {
  const auto keyText = ReadFile(path, 4096, err);
  if (!keyText) return std::nullopt;
  std::string error;
  auto key = trust::ReadSecretKeyFile(
      *keyText, [&] { return platform::ReadHiddenLine("Password: ").value_or(""); }, error);
  if (!key) err << "kavrel: " << path << ": " << error << '\n';
  return key;
}

bool SignFile(const std::string& path, const trust::TSecretKey& key, const std::string& comment,
              bool legacy, const std::string& signaturePath, std::ostream& out, std::ostream& err) {
  const auto message = ReadFile(path, kMaxSignedFile, err);
  if (!message) return false;
  try {
    platform::WriteFileAtomically(signaturePath, trust::Sign(*message, key, comment, legacy));
  } catch (const platform::EInOutError& e) {
    err << "kavrel: " << e.what() << '\n';
    return false;
  }
  out << "Signed " << path << " with key " << trust::KeyIdText(key.KeyId) << " into "
      << signaturePath << '\n';
  return true;
}

int SignCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string usage = "kavrel sign [-l] [-s SECRETKEYFILE] [-t COMMENT] [-x SIGFILE] FILE";
  bool legacy = false;
  std::string secretPath = kDefaultSecretKey, comment, signaturePath;
  std::vector<std::string> operands;
  if (!TakeOperands(args, 1, usage, err, operands, {{"-l", &legacy}},
                    {{"-s", &secretPath}, {"-t", &comment}, {"-x", &signaturePath}}))
    return 2;
  const std::string& path = operands.front();
  if (comment.find_first_of("\r\n") != std::string::npos)
    return UsageError(err, "a trusted comment is one line", usage);
  const auto key = ReadSecretKey(secretPath, err);
  if (!key) return 1;
  if (comment.empty()) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    comment = "timestamp:" + std::to_string(seconds.count()) + "\tfile:" + BaseName(path) +
              (legacy ? "" : "\thashed");
  }
  if (signaturePath.empty()) signaturePath = path + ".minisig";
  return SignFile(path, *key, comment, legacy, signaturePath, out, err) ? 0 : 1;
}

int VerifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string usage = "kavrel verify [-p PUBLICKEYFILE | -P KEY] [-x SIGFILE] FILE";
  std::string publicPath, publicKey, signaturePath;
  std::vector<std::string> operands;
  if (!TakeOperands(args, 1, usage, err, operands, {},
                    {{"-p", &publicPath}, {"-P", &publicKey}, {"-x", &signaturePath}}))
    return 2;
  if (!publicPath.empty() && !publicKey.empty())
    return UsageError(err, "-p and -P exclude each other", usage);
  const std::string& path = operands.front();
  std::optional<trust::TPublicKey> key;
  if (!publicKey.empty()) {
    key = trust::ParsePublicKey(publicKey);
    if (!key) return UsageError(err, "-P takes a public key (RW...)", usage);
  } else {
    if (publicPath.empty()) publicPath = kDefaultPublicKey;
    const auto text = ReadFile(publicPath, 4096, err);
    if (!text) return 1;
    key = trust::ParsePublicKeyFile(*text);
    if (!key) {
      err << "kavrel: " << publicPath << " holds no public key\n";
      return 1;
    }
  }
  if (signaturePath.empty()) signaturePath = path + ".minisig";
  const auto signature = ReadFile(signaturePath, 65536, err);
  const auto message = ReadFile(path, kMaxSignedFile, err);
  if (!signature || !message) return 1;
  std::string comment;
  const trust::TVerifyResult result = trust::Verify(*message, *signature, {*key}, &comment);
  if (result != trust::TVerifyResult::Valid) {
    err << "kavrel: " << path << ": " << trust::VerifyResultText(result) << '\n';
    return 1;
  }
  out << "Signature and comment signature verified\nTrusted comment: " << comment << '\n';
  return 0;
}

int Sha256Command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> operands;
  if (!TakeOperands(args, 1, "kavrel sha256 FILE", err, operands)) return 2;
  const auto hash = FileSha256(operands.front());
  if (!hash) {
    err << "kavrel: cannot read " << operands.front() << " to its end\n";
    return 1;
  }
  out << *hash << '\n';
  return 0;
}

}  // namespace kavrel
