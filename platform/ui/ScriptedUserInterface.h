// A user interface without windows, for runs without a display: every box is
// written as a line "[box] " plus its text on an output stream, and questions
// take their answers from a script consumed in order. Once the script is used
// up every question is answered No, every login cancelled and every text
// dialog refused.
#pragma once

#include <deque>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "UserInterface.h"

namespace kavrel::platform {

class TScriptedUserInterface : public IUserInterface {
 public:
  // Answers: "yes", "no", "ok", "cancel", "accept", "login:USER:PASSWORD".
  TScriptedUserInterface(std::vector<std::string> answers, std::ostream& boxes);

  // Checks a script's words; returns the first answer it does not know, if any.
  static std::optional<std::string> FirstUnknownAnswer(const std::vector<std::string>& answers);

  TModalResult MessageBox(std::string_view text, std::string_view caption, TMsgKind kind,
                          TMsgButtons buttons) override;
  void ProcessMessages() override {}
  // Takes the next answer; "login:USER:PASSWORD" confirms with those values,
  // anything else (or none) cancels.
  bool ShowLoginDialog(std::string_view caption, std::string& user, std::string& password) override;
  // "ok", "yes" or "accept" accept the what's-new text; anything else refuses.
  // The text is written after "[whatsnew] " and its caption, a line each.
  bool ShowWhatsNewDialog(const TTextDialog& dialog) override;
  // Only "accept" accepts the licence.
  bool ShowLicenseDialog(const TTextDialog& dialog) override;
  // Writes "[html] " and the address; takes no answer.
  bool ShowHtmlDialog(std::string_view address) override;
  // Writes "[animation] " and the caption; shows nothing.
  std::unique_ptr<IAnimationWindow> ShowAnimation(std::string_view caption,
                                                  std::string_view message) override;

  std::size_t AnswersLeft() const { return answers_.size(); }

 protected:
  // The next answer, or nothing when the script is used up.
  std::optional<std::string> NextAnswer();
  // Writes a text dialog as "[kind] " and its caption, then its lines.
  void WriteTextDialog(std::string_view kind, const TTextDialog& dialog);

 private:
  std::deque<std::string> answers_;
  std::ostream& boxes_;
};

}  // namespace kavrel::platform
