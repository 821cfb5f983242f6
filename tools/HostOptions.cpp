#include "HostOptions.h"

#include "PropertyTable.h"
#include "ScriptedUserInterface.h"

namespace kavrel {

namespace {

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

}  // namespace

std::optional<THostOptions> ParseHostOptions(const std::vector<std::string>& args,
                                             std::string& error) {
  THostOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-p" || arg == "--answers") {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return std::nullopt;
      }
      const std::string& value = args[++i];
      if (arg == "--answers") {
        for (const std::string& a : SplitList(value)) options.answers.push_back(a);
        continue;
      }
      const std::size_t eq = value.find('=');
      if (eq == std::string::npos || eq == 0) {
        error = "-p takes NAME=VALUE, not \"" + value + "\"";
        return std::nullopt;
      }
      options.properties.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    } else if (arg == "--list-files") {
      options.listFiles = true;
    } else if (arg == "--json" || arg == "--quiet") {
      const TOutputForm form = arg == "--json" ? TOutputForm::Json : TOutputForm::Quiet;
      if (options.output != TOutputForm::Lines && options.output != form) {
        error = "--json and --quiet exclude each other";
        return std::nullopt;
      }
      options.output = form;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    } else {
      options.operands.push_back(arg);
    }
  }
  if (auto unknown = platform::TScriptedUserInterface::FirstUnknownAnswer(options.answers)) {
    error = "unknown answer \"" + *unknown +
            "\": answers are yes, no, ok, cancel, accept and login:USER:PASSWORD";
    return std::nullopt;
  }
  return options;
}

bool ApplyProperties(TKavrel& engine, const THostOptions& options, std::string& error) {
  for (const auto& [name, value] : options.properties) {
    if (auto refusal = SetPropertyFromText(engine, name, value)) {
      error = *refusal;
      return false;
    }
  }
  return true;
}

}  // namespace kavrel
