// kavrel: the command-line host of the update engine and the publisher's toolbox.
#include <iostream>
#include <string>
#include <vector>

#include "HostEngine.h"
#include "HostOptions.h"
#include "ScriptedUserInterface.h"

namespace {

constexpr const char* kUsage =
    "usage: kavrel COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  run [-p NAME=VALUE]... [--answers LIST]\n"
    "      Performs one update run with the engine's defaults and the given\n"
    "      properties, printing each status message as it is reported.\n"
    "  help\n"
    "      Shows this text.\n"
    "\n"
    "Options:\n"
    "  -p NAME=VALUE   sets a published property (PostUpdateInfo.Server for a\n"
    "                  sub-property); Booleans True/False, enumerations by value\n"
    "                  name (kvuSilent), integers in decimal. Repeatable.\n"
    "  --answers LIST  comma-separated answers for the run's questions, used in\n"
    "                  order: yes, no, ok, cancel, accept, login:USER:PASSWORD.\n"
    "                  Once used up, questions are answered No, logins cancelled\n"
    "                  and text dialogs refused.\n"
    "\n"
    "Exit status: 0 when the run returned, 1 when an error ended it, 2 for a\n"
    "usage error.\n";

int Usage(const std::string& error) {
  std::cerr << "kavrel: " << error << "\n(kavrel help shows the commands and options)\n";
  return 2;
}

int Run(const std::vector<std::string>& args) {
  std::string error;
  const auto options = kavrel::ParseHostOptions(args, error);
  if (!options) return Usage(error);
  if (!options->operands.empty()) return Usage("run takes no operand " + options->operands[0]);
  kavrel::THostEngine engine(std::cout);
  if (!kavrel::ApplyProperties(engine, *options, error)) return Usage(error);
  kavrel::platform::SetUserInterface(
      std::make_shared<kavrel::platform::TScriptedUserInterface>(options->answers, std::cerr));
  try {
    engine.RunUpdate();
  } catch (const std::exception& e) {
    std::cerr << "kavrel: " << e.what() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "help" || command == "--help" || command == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "run") return Run(args);
  return Usage("unknown command " + command);
}
