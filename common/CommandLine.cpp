#include "CommandLine.h"

#include <algorithm>

namespace kavrel {

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (true) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(line[i]))) {
      if (line[i] == '\\') {
        std::size_t n = 0;
        while (i < line.size() && line[i] == '\\') ++n, ++i;
        if (i < line.size() && line[i] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(n, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
    return std::string(argument);
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
    } else {
      // Backslashes before a quote are doubled, and the quote escaped.
      if (c == '"') quoted.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    quoted += c;
  }
  // Those before the closing quote too.
  quoted.append(backslashes, '\\');
  return quoted + "\"";
}

std::pair<std::string, std::string> ProgramAndParameters(std::string_view commandLine) {
  std::size_t i = commandLine.find_first_not_of(" \t");
  if (i == std::string_view::npos) return {};
  std::size_t end = 0, next = 0;
  if (commandLine[i] == '"') {
    ++i;
    end = commandLine.find('"', i);
    if (end == std::string_view::npos) end = commandLine.size();
    next = std::min(end + 1, commandLine.size());
  } else {
    end = commandLine.find_first_of(" \t", i);
    if (end == std::string_view::npos) end = commandLine.size();
    next = end;
  }
  const std::size_t rest = commandLine.find_first_not_of(" \t", next);
  return {std::string(commandLine.substr(i, end - i)),
          rest == std::string_view::npos ? "" : std::string(commandLine.substr(rest))};
}

}  // namespace kavrel
