#include "PackageCommands.h"

#include <ostream>

#include "CommandOperands.h"
#include "Errors.h"
#include "Files.h"
#include "LzExpand.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "SzddCompress.h"
#include "cabfdi.h"

namespace kavrel {

int CompressCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string usage = "kavrel compress [--last-char C] SOURCE TARGET";
  std::vector<std::string> rest;
  std::optional<char> lastChar;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--last-char") {
      if (i + 1 >= args.size() || args[i + 1].size() != 1)
        return UsageError(err, "--last-char takes one character", usage);
      lastChar = args[++i][0];
    } else {
      rest.push_back(args[i]);
    }
  }
  std::vector<std::string> operands;
  if (!TakeOperands(rest, 2, usage, err, operands)) return 2;
  const std::string& source = operands[0];
  const std::string& target = operands[1];
  const std::string_view base = platform::BaseName(source);
  // By default the header records the source's own last character, so that
  // the compressed file expands to the source's name whatever it is called.
  const char recorded = lastChar.value_or(base.empty() ? '\0' : base.back());
  if (platform::SameFile(source, target)) {
    err << "kavrel: " << target << " is the source itself\n";
    return 1;
  }
  const auto data = platform::ReadWholeFile(source);
  if (!data) {
    err << "kavrel: cannot read " << source << '\n';
    return 1;
  }
  const auto packed = SzddCompress(*data, recorded);
  if (!packed) {
    err << "kavrel: " << source << " is too large for the LZ format (at most 4 GiB)\n";
    return 1;
  }
  try {
    platform::WriteFileAtomically(target, *packed);
  } catch (const platform::EInOutError& e) {
    err << "kavrel: " << e.what() << '\n';
    return 1;
  }
  out << target << ": " << data->size() << " bytes in " << packed->size() << " bytes";
  if (recorded != '\0') out << ", expands with last character '" << recorded << "'";
  out << '\n';
  return 0;
}

int ExpandCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> operands;
  if (!TakeOperands(args, 1, "kavrel expand FILE", err, operands)) return 2;
  const std::string& file = operands[0];
  if (!platform::FileExists(file)) {
    err << "kavrel: cannot read " << file << '\n';
    return 1;
  }
  if (!ExpandedLZName(file)) {
    err << "kavrel: " << file << " is not in the LZ format; it is left as it is\n";
    return 1;
  }
  const auto expanded = ExpandLZ(file);
  if (!expanded) {
    // A machine deletes such a source and installs nothing; the publisher
    // keeps it to look at.
    err << "kavrel: " << file << " is damaged or truncated: nothing was written\n";
    return 1;
  }
  if (*expanded != file) platform::DeleteFileAt(file);
  out << *expanded << '\n';
  return 0;
}

int ExtractCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> operands;
  if (!TakeOperands(args, 2, "kavrel extract CABINET FOLDER", err, operands)) return 2;
  std::vector<std::string> written;
  const int result = ExtractCabinet(operands[0], AddBackslash(operands[1]), &written);
  for (const std::string& path : written) out << platform::ToNativePath(path) << '\n';
  if (result != 0) {
    err << "kavrel: cannot extract " << operands[0]
        << (platform::FileExists(operands[0])
                ? ": not a cabinet, one of a set, damaged, or a name outside the folder\n"
                : ": no such file\n");
    return 1;
  }
  return 0;
}

}  // namespace kavrel
