#include "ScriptedUserInterface.h"

#include <optional>
#include <ostream>

#include "Text.h"

namespace kavrel::platform {

TScriptedUserInterface::TScriptedUserInterface(std::vector<std::string> answers,
                                               std::ostream& boxes)
    : answers_(answers.begin(), answers.end()), boxes_(boxes) {}

std::optional<std::string> TScriptedUserInterface::FirstUnknownAnswer(
    const std::vector<std::string>& answers) {
  for (const std::string& a : answers) {
    const std::string word = LowerCase(a);
    const bool known = word == "yes" || word == "no" || word == "ok" || word == "cancel" ||
                       word == "accept" ||
                       (word.rfind("login:", 0) == 0 && a.find(':', 6) != std::string::npos);
    if (!known) return a;
  }
  return std::nullopt;
}

std::optional<std::string> TScriptedUserInterface::NextAnswer() {
  if (answers_.empty()) return std::nullopt;
  std::string answer = std::move(answers_.front());
  answers_.pop_front();
  return answer;
}

TModalResult TScriptedUserInterface::MessageBox(std::string_view text, std::string_view, TMsgKind,
                                                TMsgButtons buttons) {
  if (buttons == TMsgButtons::Ok) {
    boxes_ << "[box] " << text << std::endl;
    return TModalResult::Ok;
  }
  boxes_ << "[question] " << text << std::endl;
  const std::string answer = LowerCase(NextAnswer().value_or(""));
  if (buttons == TMsgButtons::YesNo)
    return answer == "yes" || answer == "ok" ? TModalResult::Yes : TModalResult::No;
  return answer == "ok" || answer == "yes" ? TModalResult::Ok : TModalResult::Cancel;
}

}  // namespace kavrel::platform
