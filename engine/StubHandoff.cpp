#include "StubHandoff.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "Files.h"
#include "Folders.h"
#include "PathHelpers.h"

namespace kavrel {

namespace {

bool Separates(char c) { return static_cast<unsigned char>(c) <= 32; }

// Quoted when the stub would otherwise split it: a blank, a tab, a control
// character.
std::string QuotedWhenBlank(const std::string& value) {
  return std::none_of(value.begin(), value.end(), Separates) ? value : "\"" + value + "\"";
}

}  // namespace

std::string BuildStubCommandLine(const TStubCommand& command) {
  return std::to_string(command.ProcessId) + (command.Logging ? " L " : " X ") +
         QuotedWhenBlank(command.Application) + " " + QuotedWhenBlank(command.Parameters) + " \"" +
         command.SourceFolder + "\" " + command.Components;
}

bool StubCanReadBack(const TStubCommand& command) {
  for (const std::string* field :
       {&command.Application, &command.Parameters, &command.SourceFolder, &command.Components})
    if (field->find('"') != std::string::npos) return false;
  return true;
}

std::vector<std::string> SplitStubArguments(std::string_view text) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (true) {
    while (i < text.size()) {
      if (Separates(text[i]))
        ++i;
      else if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"')
        i += 2;
      else
        break;
    }
    if (i >= text.size()) return args;
    std::string arg;
    bool quoted = false;
    for (; i < text.size(); ++i) {
      if (text[i] == '"')
        quoted = !quoted;
      else if (Separates(text[i]) && !quoted)
        break;
      else
        arg += text[i];
    }
    args.push_back(std::move(arg));
  }
}

std::string HandOffFilePath() {
  const std::string documents = GetDocumentsDir();
  return AddBackslash(documents.empty() ? platform::WindowsFolder() : documents) + "KAVREL.INI";
}

std::string InstallationLockPath() {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const unsigned char c : platform::GetCurrentDir()) hash = (hash ^ c) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "KAVREL-%016llX.lock", static_cast<unsigned long long>(hash));
  return GetTempDir() + name;
}

}  // namespace kavrel
