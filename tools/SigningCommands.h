// The publisher's signing commands, in minisign's own file formats:
//   kavrel keygen [-W] [-f] [-p PUBLICKEYFILE] [-s SECRETKEYFILE]
//   kavrel sign [-l] [-s SECRETKEYFILE] [-t COMMENT] [-x SIGFILE] FILE
//   kavrel verify [-p PUBLICKEYFILE | -P KEY] [-x SIGFILE] FILE
//   kavrel sha256 FILE
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "Minisign.h"

namespace kavrel {

// Each takes the arguments after the command's name and returns the exit
// status: 0 done (verify: the signature is valid), 1 failed (verify: it is
// not), 2 a usage error.
int KeygenCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int SignCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int VerifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Sha256Command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The pieces of `sign` that `publish` shares, so that it asks for a key's
// password once. A secret key file, its password asked for when the key is
// encrypted; nothing, with the reason on `err`, when it cannot be read.
std::optional<trust::TSecretKey> ReadSecretKey(const std::string& path, std::ostream& err);
// Signs a file into `signaturePath` with the trusted comment (one line); false,
// with the reason on `err`, when either file cannot be read or written.
bool SignFile(const std::string& path, const trust::TSecretKey& key, const std::string& comment,
              bool legacy, const std::string& signaturePath, std::ostream& out, std::ostream& err);

}  // namespace kavrel
