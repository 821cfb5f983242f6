#include "CommandOperands.h"

#include <ostream>

namespace kavrel {

int UsageError(std::ostream& err, const std::string& error, const std::string& usage) {
  err << "kavrel: " << error << "; usage: " << usage
      << "\n(kavrel help shows the commands and options)\n";
  return 2;
}

bool TakeOperands(const std::vector<std::string>& args, std::size_t count, const std::string& usage,
                  std::ostream& err, std::vector<std::string>& operands,
                  const std::map<std::string, bool*>& flags,
                  const std::map<std::string, std::string*>& values) {
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options && arg == "--") {
      options = false;
    } else if (const auto flag = flags.find(arg); options && flag != flags.end()) {
      *flag->second = true;
    } else if (const auto value = values.find(arg); options && value != values.end()) {
      if (i + 1 == args.size()) {
        UsageError(err, "option " + arg + " needs a value", usage);
        return false;
      }
      *value->second = args[++i];
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      UsageError(err, "unknown option " + arg, usage);
      return false;
    } else {
      operands.push_back(arg);
    }
  }
  if (operands.size() != count) {
    UsageError(err,
               count == 1 ? "this command takes one operand"
                          : "this command takes " + std::to_string(count) + " operands",
               usage);
    return false;
  }
  return true;
}

}  // namespace kavrel
