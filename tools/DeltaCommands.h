// The publisher's patch commands: `kavrel diff` makes a patch from two
// versions of a file, `kavrel patch` applies one as the patch utility does.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kavrel {

int DiffCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int PatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kavrel
