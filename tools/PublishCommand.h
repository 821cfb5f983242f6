// `kavrel publish`: turns a release folder (and the one before it) into a
// whole update site: the files to fetch, patches, the control file with every
// hash, size and checksum, and its signature.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kavrel {

int PublishCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kavrel
