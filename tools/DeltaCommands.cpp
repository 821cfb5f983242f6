#include "DeltaCommands.h"

#include <ostream>

#include "CommandOperands.h"
#include "Patch.h"

namespace kavrel {

namespace {

constexpr const char* kDiffUsage = "kavrel diff [-l LEVEL] OLD NEW PATCH";

int Finished(const delta::TPatchOutcome& outcome, std::ostream& out, std::ostream& err) {
  if (outcome.Succeeded()) {
    out << outcome.Detail << '\n';
    return 0;
  }
  err << "kavrel: " << outcome.Detail << '\n';
  return delta::ExitStatus(outcome.Result);
}

}  // namespace

int DiffCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  delta::TDiffOptions options;
  std::vector<std::string> rest = args;
  if (rest.size() >= 2 && rest.front() == "-l") {
    try {
      std::size_t used = 0;
      options.Level = std::stoi(rest[1], &used);
      if (used != rest[1].size() || options.Level < 1 || options.Level > 22) throw 0;
    } catch (...) {
      return UsageError(err, "the level is a number from 1 to 22", kDiffUsage);
    }
    rest.erase(rest.begin(), rest.begin() + 2);
  }
  std::vector<std::string> operands;
  if (!TakeOperands(rest, 3, kDiffUsage, err, operands)) return 2;
  return Finished(delta::MakePatch(operands[0], operands[1], operands[2], options,
                                   [&out](std::string_view step) { out << step << std::endl; }),
                  out, err);
}

int PatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> operands;
  if (!TakeOperands(args, 2, "kavrel patch PATCH FILE", err, operands)) return 2;
  return Finished(delta::ApplyPatch(operands[0], operands[1]), out, err);
}

}  // namespace kavrel
