#include "CommandHelp.h"

#include <sstream>

namespace kavrel {

namespace {

constexpr std::string_view kOptions =
    "-p NAME=VALUE   sets a published property (PostUpdateInfo.Server for a\n"
    "                sub-property); Booleans True/False, enumerations by value\n"
    "                name (kvuSilent), integers in decimal. Repeatable.\n"
    "--answers LIST  comma-separated answers for the run's questions, used in\n"
    "                order: yes, no, ok, cancel, accept, login:USER:PASSWORD.\n"
    "                Once used up, questions are answered No, logins cancelled\n"
    "                and text dialogs refused.\n"
    "--json          prints each status message as one JSON object a line\n"
    "                ({\"type\": \"status\", \"id\", \"message\", \"status\",\n"
    "                \"error\"}) and ends with a summary object ({\"type\":\n"
    "                \"summary\", \"status\", \"outcome\", \"messages\"}).\n"
    "--quiet         prints no status messages; the exit status tells.\n"
    "On a terminal each transfer shows a progress line (bytes, rate, time\n"
    "left) that is wiped before the next message.\n";

constexpr std::string_view kExitStatus =
    "run: 0 updated, 1 failed (the control file could not be fetched or was\n"
    "refused, a file could not be fetched or put in place), 2 usage error,\n"
    "3 cancelled (Ctrl+C), 4 refused (a question, a what's-new text or a\n"
    "licence declined), 5 no update needed.\n"
    "The other commands: 0 done, 1 failed, 2 usage error, unless their\n"
    "description says otherwise.\n";

const std::vector<TCommandHelp> kCommands = {
    {"run", "[-p NAME=VALUE]... [--answers LIST] [--json | --quiet] [--list-files]",
     "Performs one update run with the engine's defaults and the given\n"
     "properties, printing each status message as it is reported. With\n"
     "--list-files the selected files are shown as a launcher sees them,\n"
     "one line \"[file] \" plus the description each (entries without a\n"
     "description are dropped, as under a launcher).\n",
     true},
    {"fetch", "[-p NAME=VALUE]... [--answers LIST] [--json | --quiet] LOCATION TARGETDIR",
     "Opens the session as a run does, fetches one location into the\n"
     "folder TARGETDIR (with fileUpdate also a file path) and closes the\n"
     "session: a check that a location is reachable with the settings a\n"
     "launcher will use. Exit status 0 when the file was fetched, else 1.\n",
     true},
    {"confirm", "[FOLDER]",
     "Tells the updater that the application in FOLDER (the current one\n"
     "by default) started well, as a control file with \"confirm=1\" asks;\n"
     "without that in time the update is rolled back.\n"},
    {"checksum", "[--crc32] FILE",
     "Prints the value a control file's \"newchecksum\" needs for FILE:\n"
     "the byte sum, or with --crc32 the checksum engines with UseCRC32 use.\n"},
    {"version", "FILE",
     "Prints the file version of a program or library (.exe, .dll) as\n"
     "major.minor.release.build; exit status 1 when it has none.\n"},
    {"compress", "[--last-char C] SOURCE TARGET",
     "Writes SOURCE to TARGET in the LZ format (\"SZDD\") that entries\n"
     "marked compressed use. The header records C, by default the last\n"
     "character of SOURCE's name, as the last character of the expanded\n"
     "name: app.exe compressed to app.ex_ expands to app.exe again.\n"},
    {"expand", "FILE",
     "Expands an LZ file as a machine does: next to it, under its name\n"
     "with the recorded last character, and removes FILE; prints the\n"
     "name written. A damaged file is kept and nothing is written.\n"},
    {"extract", "CABINET FOLDER",
     "Extracts every file of a cabinet into FOLDER as a machine does,\n"
     "with its subfolders and stored dates, and prints each file written.\n"
     "The cabinet stays.\n"},
    {"scramble", "SOURCE TARGET",
     "Writes the launcher's settings file TARGET from the INI text SOURCE\n"
     "(or the text back from a settings file).\n"},
    {"keygen", "[-W] [-f] [-p PUBLICKEYFILE] [-s SECRETKEYFILE]",
     "Makes a signing key pair in minisign's formats (minisign.pub and\n"
     "minisign.key by default), the secret key protected by a password\n"
     "asked for twice, or unprotected with -W; -f replaces existing files.\n"},
    {"sign", "[-l] [-s SECRETKEYFILE] [-t COMMENT] [-x SIGFILE] FILE",
     "Signs FILE into FILE.minisig (or SIGFILE) as minisign -S does;\n"
     "-l makes the legacy kind, -t sets the trusted comment.\n"},
    {"verify", "[-p PUBLICKEYFILE | -P KEY] [-x SIGFILE] FILE",
     "Checks FILE's signature as an engine with PublicKey does; exit\n"
     "status 0 when it is valid, else 1.\n"},
    {"sha256", "FILE", "Prints the \"sha256\" value a signed control file gives for FILE.\n"},
    {"diff", "[-l LEVEL] OLD NEW PATCH",
     "Makes a patch that turns OLD into NEW (a \".pat\" entry with\n"
     "\"localversion\" naming the file); LEVEL from 1 to 22, 19 by default.\n"},
    {"patch", "PATCH FILE",
     "Applies a patch as a machine does: FILE must be the file the patch\n"
     "was made from (else exit status 2 and nothing written); it is\n"
     "replaced whole by the new version, or stays as it was.\n"},
    {"publish",
     "[--from OLD] --to NEW --site SITE --url BASE [--program NAME] [--key SECRETKEY] "
     "[--product ID] [--valid-for DAYS] [--whatsnew FILE] [--license FILE] [--in-use NAME]... "
     "[--verify]",
     "Writes an update site into SITE that turns the release folder OLD (or\n"
     "nothing) into NEW: every changed file (LZ-compressed where that pays,\n"
     "a patch with the whole file as fallback where one is smaller), the\n"
     "program and the files in use as components for the updater stub, the\n"
     "control file with hashes, sizes and checksums (of the launcher's CRC\n"
     "kind) and a sequence one above the site's last, signed with the key.\n"
     "--verify applies the site to a scratch copy of OLD as a launcher\n"
     "would and compares the result with NEW (exit status 1 when it differs).\n"},
    {"lint", "[--format=json] [--url ADDRESS] CONTROLFILE",
     "Reads a control file as a machine will and names, by line, what would\n"
     "silently take a default or surprise: unknown sections and keys, values\n"
     "read otherwise than written, entries and components that do not fit.\n"
     "Exit status 1 when it found an error.\n"},
    {"help", "[COMMAND | --man]",
     "Shows this text, or one command's; --man prints the manual page\n"
     "kavrel.1 in roff.\n"},
};

void AppendIndented(std::string& out, std::string_view text, std::string_view indent) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    out.append(indent).append(line).append("\n");
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

// Text as roff takes it: backslashes and minus signs escaped, and no line that
// starts with a control character.
std::string Roff(std::string_view text) {
  std::string out;
  bool lineStart = true;
  for (const char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
    lineStart = c == '\n';
  }
  return out;
}

}  // namespace

const std::vector<TCommandHelp>& CommandHelps() { return kCommands; }

std::string UsageText() {
  std::string out =
      "usage: kavrel COMMAND [OPTIONS]\n"
      "       kavrel --version | --help | help COMMAND\n\nCommands:\n";
  for (const TCommandHelp& c : kCommands) {
    out.append("  ").append(c.Name).append(" ").append(c.Synopsis).append("\n");
    AppendIndented(out, c.Description, "      ");
  }
  out += "\nOptions of run and fetch:\n";
  AppendIndented(out, kOptions, "  ");
  out += "\nExit status:\n";
  AppendIndented(out, kExitStatus, "  ");
  return out;
}

std::optional<std::string> CommandHelpText(std::string_view Name) {
  for (const TCommandHelp& c : kCommands) {
    if (c.Name != Name) continue;
    std::string out = "usage: kavrel ";
    out.append(c.Name).append(" ").append(c.Synopsis).append("\n\n");
    AppendIndented(out, c.Description, "");
    if (c.HostsEngine) {
      out += "\nOptions:\n";
      AppendIndented(out, kOptions, "  ");
    }
    if (c.Name == "run") {
      out += "\nExit status:\n";
      AppendIndented(out, kExitStatus.substr(0, kExitStatus.find("The other")), "  ");
    }
    return out;
  }
  return std::nullopt;
}

std::string ManualPage(std::string_view Version) {
  std::ostringstream page;
  page << ".TH KAVREL 1 \"\" \"kavrel " << Roff(Version) << "\" \"User Commands\"\n"
       << ".SH NAME\nkavrel \\- update an installation, and publish and check update sites\n"
       << ".SH SYNOPSIS\n.B kavrel\n.I COMMAND\n[\\fIOPTIONS\\fR]\n.br\n"
       << ".B kavrel\n\\-\\-version | \\-\\-help | help \\fICOMMAND\\fR\n"
       << ".SH COMMANDS\n";
  for (const TCommandHelp& c : kCommands)
    page << ".TP\n\\fB" << Roff(c.Name) << "\\fR " << Roff(c.Synopsis) << "\n"
         << Roff(c.Description);
  page << ".SH OPTIONS OF RUN AND FETCH\n.nf\n"
       << Roff(kOptions) << ".fi\n"
       << ".SH EXIT STATUS\n"
       << Roff(kExitStatus);
  return page.str();
}

}  // namespace kavrel
