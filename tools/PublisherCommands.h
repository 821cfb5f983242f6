// The publisher's commands: the values a control file needs for a file.
//   kavrel checksum [--crc32] FILE   the "newchecksum" value, byte sum by default,
//                                    the checksum used with UseCRC32 with --crc32
//   kavrel version FILE              the file version, major.minor.release.build
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kavrel {

// Each takes the arguments after the command's name and returns the exit
// status: 0 done, 1 the file cannot be read (or, for version, has no version),
// 2 a usage error. The first forms print to the standard streams.
int ChecksumCommand(const std::vector<std::string>& args);
int ChecksumCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int VersionCommand(const std::vector<std::string>& args);
int VersionCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// Writes SOURCE scrambled as the launcher's settings file is (or, given a
// settings file, unscrambled: the transform is its own inverse).
int ScrambleCommand(const std::vector<std::string>& args, std::ostream& err);
// An application's word that it has started well after an update
// (`kavrel confirm [FOLDER]`), which the updater stub waits for.
int ConfirmCommand(const std::vector<std::string>& args, std::ostream& err);

}  // namespace kavrel
