// The publisher's packing commands: make and try the compressed files an
// update ships.
//   kavrel compress [--last-char C] SOURCE TARGET   writes SOURCE in the LZ format
//   kavrel expand FILE                              expands FILE as a machine does
//   kavrel extract CABINET FOLDER                   extracts a cabinet as a machine does
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kavrel {

// Each takes the arguments after the command's name and returns the exit
// status: 0 done, 1 the work failed, 2 a usage error.
int CompressCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int ExpandCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int ExtractCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kavrel
