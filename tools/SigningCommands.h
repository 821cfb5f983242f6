// The publisher's signing commands, in minisign's own file formats:
//   kavrel keygen [-W] [-f] [-p PUBLICKEYFILE] [-s SECRETKEYFILE]
//   kavrel sign [-l] [-s SECRETKEYFILE] [-t COMMENT] [-x SIGFILE] FILE
//   kavrel verify [-p PUBLICKEYFILE | -P KEY] [-x SIGFILE] FILE
//   kavrel sha256 FILE
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kavrel {

// Each takes the arguments after the command's name and returns the exit
// status: 0 done (verify: the signature is valid), 1 failed (verify: it is
// not), 2 a usage error.
int KeygenCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int SignCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int VerifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int Sha256Command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kavrel
