#include "PublisherCommands.h"

#include <iostream>
#include <map>
#include <optional>

#include "CommandOperands.h"
#include "Errors.h"
#include "FileMeasures.h"
#include "FileVersion.h"
#include "Files.h"
#include "MappedFile.h"
#include "SettingsFile.h"
#include "Text.h"
#include "UpdateJournal.h"
#include "kvcrc32.h"

namespace kavrel {

namespace {

// The one FILE operand, or nothing (after a usage message).
std::optional<std::string> TakeOperand(const std::vector<std::string>& args,
                                       const std::string& usage, bool* crc32, std::ostream& err) {
  std::vector<std::string> operands;
  std::map<std::string, bool*> flags;
  if (crc32 != nullptr) flags["--crc32"] = crc32;
  if (!TakeOperands(args, 1, usage, err, operands, flags)) return std::nullopt;
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
  // The byte sum over the file as mapped: no copy into a buffer first, so it
  // takes the time reading takes. (The additive CRC is one serial chain; it
  // reads in blocks.)
  if (!crc32) {
    if (const auto mapped = platform::TMappedFile::Read(*path);
        mapped && !mapped->Bytes().empty()) {
      sum.Add(mapped->Bytes());
      out << sum.Value() << '\n';
      return 0;
    }
  }
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

int ScrambleCommand(const std::vector<std::string>& args, std::ostream& err) {
  std::vector<std::string> operands;
  if (!TakeOperands(args, 2, "kavrel scramble SOURCE TARGET", err, operands)) return 2;
  try {
    launcher::ScrambleFile(operands[0], operands[1],
                           ParseInt32(launcher::kSettingsKey).value_or(0));
  } catch (const platform::EInOutError& e) {
    err << "kavrel: " << e.what() << '\n';
    return 1;
  }
  return 0;
}

int ConfirmCommand(const std::vector<std::string>& args, std::ostream& err) {
  if (args.size() > 1) {
    err << "kavrel: usage: kavrel confirm [FOLDER]\n";
    return 2;
  }
  // The installation is named by its folder, the current one by default.
  if (args.size() == 1 && !platform::SetCurrentDir(args[0])) {
    err << "kavrel: no folder " << args[0] << '\n';
    return 1;
  }
  try {
    ConfirmStart();
  } catch (const platform::EInOutError& e) {
    err << "kavrel: " << e.what() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace kavrel
