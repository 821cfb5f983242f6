// What the publisher's commands share in reading their arguments.
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace kavrel {

// Writes a usage error and returns its exit status, 2.
int UsageError(std::ostream& err, const std::string& error, const std::string& usage);

// Takes the operands out of the arguments: each flag named in `flags` sets its
// Boolean, each option named in `values` takes the next argument as its value,
// "--" ends the options. False (after a usage message) for an unknown option,
// an option without its value, or when the number of operands is not `count`.
bool TakeOperands(const std::vector<std::string>& args, std::size_t count, const std::string& usage,
                  std::ostream& err, std::vector<std::string>& operands,
                  const std::map<std::string, bool*>& flags = {},
                  const std::map<std::string, std::string*>& values = {});

}  // namespace kavrel
