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

namespace {

// A message's line breaks (a lone carriage return, as control files write
// them) continue on an indented line, so that nothing is overwritten on a
// terminal.
std::string Indented(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\n  ";
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

TModalResult TScriptedUserInterface::MessageBox(std::string_view text, std::string_view, TMsgKind,
                                                TMsgButtons buttons) {
  if (buttons == TMsgButtons::Ok) {
    boxes_ << "[box] " << Indented(text) << std::endl;
    return TModalResult::Ok;
  }
  boxes_ << "[question] " << Indented(text) << std::endl;
  const std::string answer = LowerCase(NextAnswer().value_or(""));
  if (buttons == TMsgButtons::YesNo)
    return answer == "yes" || answer == "ok" ? TModalResult::Yes : TModalResult::No;
  return answer == "ok" || answer == "yes" ? TModalResult::Ok : TModalResult::Cancel;
}

bool TScriptedUserInterface::ShowLoginDialog(std::string_view caption, std::string& user,
                                             std::string& password) {
  boxes_ << "[login] " << caption << std::endl;
  const std::string answer = NextAnswer().value_or("");
  if (LowerCase(answer.substr(0, 6)) != "login:") return false;
  const std::size_t colon = answer.find(':', 6);
  if (colon == std::string::npos) return false;
  user = answer.substr(6, colon - 6);
  password = answer.substr(colon + 1);
  return true;
}

namespace {

void WriteText(std::ostream& out, std::string_view kind, const TTextDialog& dialog) {
  out << "[" << kind << "] " << dialog.Caption << '\n';
  for (const std::string& line : dialog.Lines) out << "  " << line << '\n';
  out.flush();
}

}  // namespace

void TScriptedUserInterface::WriteTextDialog(std::string_view kind, const TTextDialog& dialog) {
  WriteText(boxes_, kind, dialog);
}

bool TScriptedUserInterface::ShowWhatsNewDialog(const TTextDialog& dialog) {
  WriteText(boxes_, "whatsnew", dialog);
  const std::string answer = LowerCase(NextAnswer().value_or(""));
  return answer == "ok" || answer == "yes" || answer == "accept";
}

bool TScriptedUserInterface::ShowLicenseDialog(const TTextDialog& dialog) {
  WriteText(boxes_, "license", dialog);
  return LowerCase(NextAnswer().value_or("")) == "accept";
}

bool TScriptedUserInterface::ShowHtmlDialog(std::string_view address) {
  boxes_ << "[html] " << address << std::endl;
  return true;
}

std::unique_ptr<IAnimationWindow> TScriptedUserInterface::ShowAnimation(std::string_view caption,
                                                                        std::string_view) {
  boxes_ << "[animation] " << caption << std::endl;
  return nullptr;
}

}  // namespace kavrel::platform
