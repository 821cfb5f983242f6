// kavrel: the command-line host of the update engine and the publisher's toolbox.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "CommandHelp.h"
#include "ControlFileLint.h"
#include "DeltaCommands.h"
#include "HostEngine.h"
#include "HostOptions.h"
#include "PackageCommands.h"
#include "Processes.h"
#include "PublishCommand.h"
#include "PublisherCommands.h"
#include "ScriptedUserInterface.h"
#include "SigningCommands.h"
#include "System.h"

namespace {

int Usage(const std::string& error) {
  std::cerr << "kavrel: " << error << "\n(kavrel help shows the commands and options)\n";
  return 2;
}

// Parses the host options, builds the engine with its defaults and the given
// properties, and installs the scripted user interface. Nothing (after a usage
// message) when the arguments do not fit.
std::unique_ptr<kavrel::THostEngine> PrepareHost(const std::vector<std::string>& args,
                                                 std::size_t operands,
                                                 std::vector<std::string>& operandValues) {
  std::string error;
  const auto options = kavrel::ParseHostOptions(args, error);
  if (!options) {
    Usage(error);
    return nullptr;
  }
  if (options->operands.size() != operands) {
    Usage(operands == 0 ? "this command takes no operand"
                        : "this command takes " + std::to_string(operands) + " operands");
    return nullptr;
  }
  if (options->listFiles && operands != 0) {
    Usage("--list-files goes with run only");
    return nullptr;
  }
  operandValues = options->operands;
  // The progress line only where a person watches: never in a pipe or a file.
  auto engine = std::make_unique<kavrel::THostEngine>(std::cout, options->output,
                                                      kavrel::platform::StandardOutputIsTerminal());
  if (!kavrel::ApplyProperties(*engine, *options, error)) {
    Usage(error);
    return nullptr;
  }
  if (options->listFiles)
    engine->OnGetFileList = [](kavrel::TKavrel&, kavrel::TStrings& list) {
      // An entry without a description is dropped, as under a launcher.
      for (const std::string& line : list)
        if (!line.empty()) std::cout << "[file] " << line << std::endl;
    };
  kavrel::platform::SetUserInterface(
      std::make_shared<kavrel::platform::TScriptedUserInterface>(options->answers, std::cerr));
  return engine;
}

int Run(const std::vector<std::string>& args) {
  std::vector<std::string> operands;
  auto engine = PrepareHost(args, 0, operands);
  if (!engine) return 2;
  try {
    engine->RunUpdate();
  } catch (const std::exception& e) {
    std::cerr << "kavrel: " << e.what() << '\n';
    engine->Finish(1, kavrel::RunStatusName(1), e.what());
    return 1;
  }
  const int status = kavrel::TKavrel::RunStatus(engine->Outcome());
  engine->Finish(status, kavrel::RunStatusName(status));
  return status;
}

int Fetch(const std::vector<std::string>& args) {
  std::vector<std::string> operands;
  auto engine = PrepareHost(args, 2, operands);
  if (!engine) return 2;
  try {
    const bool fetched = engine->Fetch(operands[0], operands[1]);
    engine->Finish(fetched ? 0 : 1, fetched ? "fetched" : "failed");
    return fetched ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "kavrel: " << e.what() << '\n';
    engine->Finish(1, "failed", e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away (kavrel run | head) must not end a run in its
  // middle: the output stops, the run goes on to its end.
  kavrel::platform::IgnoreBrokenPipe();
  kavrel::platform::CancelOnInterrupt();
  std::vector<std::string> args = kavrel::platform::ProgramArguments(argc, argv);
  if (args.empty()) return Usage("no command given");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--version" || command == "-V") {
    std::cout << "kavrel " << KAVREL_VERSION << '\n';
    return 0;
  }
  if (command == "help" || command == "--help" || command == "-h") {
    if (args.empty()) {
      std::cout << kavrel::UsageText();
      return 0;
    }
    if (args.size() == 1 && args[0] == "--man") {
      std::cout << kavrel::ManualPage(KAVREL_VERSION);
      return 0;
    }
    if (args.size() == 1)
      if (const auto text = kavrel::CommandHelpText(args[0])) {
        std::cout << *text;
        return 0;
      }
    return Usage(args.size() == 1 ? "no command " + args[0] : "help takes one command");
  }
  // kavrel COMMAND --help: that command's help.
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h"))
    if (const auto text = kavrel::CommandHelpText(command)) {
      std::cout << *text;
      return 0;
    }
  if (command == "run") return Run(args);
  if (command == "fetch") return Fetch(args);
  if (command == "confirm") return kavrel::ConfirmCommand(args, std::cerr);
  if (command == "checksum") return kavrel::ChecksumCommand(args);
  if (command == "version") return kavrel::VersionCommand(args);
  if (command == "compress") return kavrel::CompressCommand(args, std::cout, std::cerr);
  if (command == "expand") return kavrel::ExpandCommand(args, std::cout, std::cerr);
  if (command == "extract") return kavrel::ExtractCommand(args, std::cout, std::cerr);
  if (command == "scramble") return kavrel::ScrambleCommand(args, std::cerr);
  if (command == "keygen") return kavrel::KeygenCommand(args, std::cout, std::cerr);
  if (command == "sign") return kavrel::SignCommand(args, std::cout, std::cerr);
  if (command == "verify") return kavrel::VerifyCommand(args, std::cout, std::cerr);
  if (command == "sha256") return kavrel::Sha256Command(args, std::cout, std::cerr);
  if (command == "diff") return kavrel::DiffCommand(args, std::cout, std::cerr);
  if (command == "patch") return kavrel::PatchCommand(args, std::cout, std::cerr);
  if (command == "lint") return kavrel::LintCommand(args, std::cout, std::cerr);
  if (command == "publish") return kavrel::PublishCommand(args, std::cout, std::cerr);
  return Usage("unknown command " + command);
}
