// The updater stub's command line. The input is split by the stub's rule as
// it stands; then its first five bytes (logging, process number) and the rest
// cut at zero bytes (application, parameters, source folder, components) make
// a command for the engine to write, which the stub must read back as meant
// whenever the engine agrees to hand it over.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "StubHandoff.h"

namespace {

using kavrel::fuzz::Check;

bool Separates(char c) { return static_cast<unsigned char>(c) <= 32; }

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : text + ' ') {
    if (!Separates(c)) {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  return words;
}

void CheckSplit(std::string_view text) {
  const std::vector<std::string> args = kavrel::SplitStubArguments(text);
  std::size_t characters = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    Check(args[i].find('"') == std::string::npos, "every double quote is dropped");
    // An empty argument comes only from a quote that the text leaves open.
    Check(!args[i].empty() || i + 1 == args.size(), "only the last argument may be empty");
    characters += args[i].size();
  }
  Check(characters <= text.size(), "arguments hold only the text's characters");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckSplit(std::string_view(reinterpret_cast<const char*>(data), size));
  if (size < 5) return 0;

  kavrel::TStubCommand command;
  command.Logging = (data[0] & 1) != 0;
  std::memcpy(&command.ProcessId, data + 1, sizeof command.ProcessId);
  std::string* fields[] = {&command.Application, &command.Parameters, &command.SourceFolder,
                           &command.Components};
  std::size_t field = 0;
  for (std::size_t i = 5; i < size; ++i) {
    if (data[i] == 0 && field + 1 < std::size(fields))
      ++field;
    else
      *fields[field] += static_cast<char>(data[i]);
  }
  // The engine never hands over an empty application, parameters (a single
  // blank stands for none) or folder.
  if (!kavrel::StubCanReadBack(command) || command.Application.empty() ||
      command.Parameters.empty() || command.SourceFolder.empty())
    return 0;

  std::vector<std::string> expected = {std::to_string(command.ProcessId),
                                       command.Logging ? "L" : "X", command.Application,
                                       command.Parameters, command.SourceFolder};
  for (const std::string& word : Words(command.Components)) expected.push_back(word);
  Check(kavrel::SplitStubArguments(kavrel::BuildStubCommandLine(command)) == expected,
        "the stub reads the arguments the engine wrote");
  return 0;
}
