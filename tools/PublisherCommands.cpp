#include "PublisherCommands.h"

#include <iostream>
#include <optional>

#include "Errors.h"
#include "FileMeasures.h"
#include "FileVersion.h"
#include "Files.h"
#include "kvcrc32.h"

namespace kavrel {

namespace {

int UsageError(std::ostream& err, const std::string& error) {
  err << "kavrel: " << error << "\n(kavrel help shows the commands and options)\n";
  return 2;
}

// Takes the known flags out of the arguments; the one operand, or nothing
// (after a usage message) when the arguments do not fit. "--" ends the flags.
std::optional<std::string> TakeOperand(const std::vector<std::string>& args,
                                       const std::string& usage, bool* crc32, std::ostream& err) {
  std::vector<std::string> operands;
  bool flags = true;
  for (const std::string& arg : args) {
    if (flags && arg == "--") {
      flags = false;
    } else if (flags && crc32 != nullptr && arg == "--crc32") {
      *crc32 = true;
    } else if (flags && arg.size() > 1 && arg[0] == '-') {
      UsageError(err, "unknown option " + arg + "; usage: " + usage);
      return std::nullopt;
    } else {
      operands.push_back(arg);
    }
  }
  if (operands.size() != 1) {
    UsageError(err, "this command takes one FILE; usage: " + usage);
    return std::nullopt;
  }
  return operands.front();
}

// Opens the file once to tell an unreadable file from one whose measures
// merely look like those of a missing file.
bool Readable(const std::string& path, std::ostream& err) {
  int error = 0;
  if (platform::TFile::Open(path, platform::TFile::Mode::Read, &error)) return true;
  err << "kavrel: cannot read " << path << ": " << platform::SystemErrorText(error) << '\n';
  return false;
}

}  // namespace

int ChecksumCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool crc32 = false;
  const auto path = TakeOperand(args, "kavrel checksum [--crc32] FILE", &crc32, err);
  if (!path) return 2;
  if (!Readable(*path, err)) return 1;
  TByteSum sum;
  TAdditiveCrc32 crc;
  const TBlockReadResult result = ReadFileInBlocks(*path, [&](std::span<const std::uint8_t> b) {
    if (crc32)
      crc.Add(b);
    else
      sum.Add(b);
  });
  // A checksum of part of a file would make every client update forever.
  if (result != TBlockReadResult::Complete) {
    err << "kavrel: cannot read " << *path << " to its end\n";
    return 1;
  }
  out << (crc32 ? crc.Value() : sum.Value()) << '\n';
  return 0;
}

int ChecksumCommand(const std::vector<std::string>& args) {
  return ChecksumCommand(args, std::cout, std::cerr);
}

int VersionCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto path = TakeOperand(args, "kavrel version FILE", nullptr, err);
  if (!path) return 2;
  if (!Readable(*path, err)) return 1;
  const TVersionWords version = GetFileVersion(*path);
  if (!version.Valid()) {
    err << "kavrel: " << *path << " has no version information\n";
    return 1;
  }
  out << VersionToText(version) << '\n';
  return 0;
}

int VersionCommand(const std::vector<std::string>& args) {
  return VersionCommand(args, std::cout, std::cerr);
}

}  // namespace kavrel
