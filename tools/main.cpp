// kavrel: the command-line host of the update engine and the publisher's toolbox.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

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

namespace {

constexpr const char* kUsage =
    "usage: kavrel COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  run [-p NAME=VALUE]... [--answers LIST] [--list-files]\n"
    "      Performs one update run with the engine's defaults and the given\n"
    "      properties, printing each status message as it is reported. With\n"
    "      --list-files the selected files are shown as a launcher sees them,\n"
    "      one line \"[file] \" plus the description each (entries without a\n"
    "      description are dropped, as under a launcher).\n"
    "  fetch [-p NAME=VALUE]... [--answers LIST] LOCATION TARGETDIR\n"
    "      Opens the session as a run does, fetches one location into the\n"
    "      folder TARGETDIR (with fileUpdate also a file path) and closes the\n"
    "      session: a check that a location is reachable with the settings a\n"
    "      launcher will use. Exit status 0 when the file was fetched, else 1.\n"
    "  checksum [--crc32] FILE\n"
    "      Prints the value a control file's \"newchecksum\" needs for FILE:\n"
    "      the byte sum, or with --crc32 the checksum engines with UseCRC32 use.\n"
    "  version FILE\n"
    "      Prints the file version of a program or library (.exe, .dll) as\n"
    "      major.minor.release.build; exit status 1 when it has none.\n"
    "  compress [--last-char C] SOURCE TARGET\n"
    "      Writes SOURCE to TARGET in the LZ format (\"SZDD\") that entries\n"
    "      marked compressed use. The header records C, by default the last\n"
    "      character of SOURCE's name, as the last character of the expanded\n"
    "      name: app.exe compressed to app.ex_ expands to app.exe again.\n"
    "  expand FILE\n"
    "      Expands an LZ file as a machine does: next to it, under its name\n"
    "      with the recorded last character, and removes FILE; prints the\n"
    "      name written. A damaged file is kept and nothing is written.\n"
    "  extract CABINET FOLDER\n"
    "      Extracts every file of a cabinet into FOLDER as a machine does,\n"
    "      with its subfolders and stored dates, and prints each file written.\n"
    "      The cabinet stays.\n"
    "  scramble SOURCE TARGET\n"
    "      Writes the launcher's settings file TARGET from the INI text SOURCE\n"
    "      (or the text back from a settings file).\n"
    "  keygen [-W] [-f] [-p PUBLICKEYFILE] [-s SECRETKEYFILE]\n"
    "      Makes a signing key pair in minisign's formats (minisign.pub and\n"
    "      minisign.key by default), the secret key protected by a password\n"
    "      asked for twice, or unprotected with -W; -f replaces existing files.\n"
    "  sign [-l] [-s SECRETKEYFILE] [-t COMMENT] [-x SIGFILE] FILE\n"
    "      Signs FILE into FILE.minisig (or SIGFILE) as minisign -S does;\n"
    "      -l makes the legacy kind, -t sets the trusted comment.\n"
    "  verify [-p PUBLICKEYFILE | -P KEY] [-x SIGFILE] FILE\n"
    "      Checks FILE's signature as an engine with PublicKey does; exit\n"
    "      status 0 when it is valid, else 1.\n"
    "  sha256 FILE\n"
    "      Prints the \"sha256\" value a signed control file gives for FILE.\n"
    "  diff [-l LEVEL] OLD NEW PATCH\n"
    "      Makes a patch that turns OLD into NEW (a \".pat\" entry with\n"
    "      \"localversion\" naming the file); LEVEL from 1 to 22, 19 by default.\n"
    "  publish [--from OLD] --to NEW --site SITE --url BASE [--program NAME]\n"
    "          [--key SECRETKEY] [--product ID] [--valid-for DAYS] [--whatsnew FILE]\n"
    "          [--license FILE] [--in-use NAME]... [--verify]\n"
    "      Writes an update site into SITE that turns the release folder OLD (or\n"
    "      nothing) into NEW: every changed file (LZ-compressed where that pays,\n"
    "      a patch with the whole file as fallback where one is smaller), the\n"
    "      program and the files in use as components for the updater stub, the\n"
    "      control file with hashes, sizes and checksums (of the launcher's CRC\n"
    "      kind) and a sequence one above the site's last, signed with the key.\n"
    "      --verify applies the site to a scratch copy of OLD as a launcher\n"
    "      would and compares the result with NEW (exit status 1 when it differs).\n"
    "  lint [--format=json] [--url ADDRESS] CONTROLFILE\n"
    "      Reads a control file as a machine will and names, by line, what would\n"
    "      silently take a default or surprise: unknown sections and keys, values\n"
    "      read otherwise than written, entries and components that do not fit.\n"
    "      Exit status 1 when it found an error.\n"
    "  patch PATCH FILE\n"
    "      Applies a patch as a machine does: FILE must be the file the patch\n"
    "      was made from (else exit status 2 and nothing written); it is\n"
    "      replaced whole by the new version, or stays as it was.\n"
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
    "Exit status of run: 0 updated, 1 failed, 2 usage error, 3 cancelled,\n"
    "4 refused (a question, a what's-new text or a licence declined),\n"
    "5 no update needed. The other commands: 0 done, 1 failed, 2 usage error.\n";

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
  auto engine = std::make_unique<kavrel::THostEngine>(std::cout);
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
    return 1;
  }
  return kavrel::TKavrel::RunStatus(engine->Outcome());
}

int Fetch(const std::vector<std::string>& args) {
  std::vector<std::string> operands;
  auto engine = PrepareHost(args, 2, operands);
  if (!engine) return 2;
  try {
    return engine->Fetch(operands[0], operands[1]) ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "kavrel: " << e.what() << '\n';
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
  if (command == "help" || command == "--help" || command == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "run") return Run(args);
  if (command == "fetch") return Fetch(args);
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
