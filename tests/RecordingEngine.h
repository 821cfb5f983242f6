// An engine for tests that records every status message and event it raises,
// and a scope in which the user interface answers from a script.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Kavrel.h"
#include "ScriptedUserInterface.h"

namespace kavrel::test {

struct TStatusRecord {
  int Ident;
  std::string Arg;
  int StatusCode;
  int ErrCode;
};

struct TProgressRecord {
  std::string FileName;
  int Pos;
  int Size;
};

class TRecordingEngine : public TKavrel {
 public:
  TRecordingEngine() {
    OnFileProgress = [this](TKavrel&, const std::string& name, int pos, int size) {
      progress.push_back({name, pos, size});
    };
    OnFileDownloaded = [this](TKavrel&, const std::string& name) { downloaded.push_back(name); };
  }

  void ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) override {
    statuses.push_back({Ident, Arg, StatusCode, ErrCode});
    TKavrel::ReportStatus(Ident, Arg, StatusCode, ErrCode);
  }

  std::vector<int> Idents() const {
    std::vector<int> idents;
    for (const TStatusRecord& s : statuses) idents.push_back(s.Ident);
    return idents;
  }
  const TStatusRecord* Find(int ident) const {
    for (const TStatusRecord& s : statuses)
      if (s.Ident == ident) return &s;
    return nullptr;
  }

  // Access to run state for tests.
  bool& CancelledFlag() { return Cancelled; }
  bool& DialledFlag() { return Dialled; }
  bool& FtpDirChangedFlag() { return FtpDirChanged; }
  std::string& ControlFile() { return ControlFileName; }
  void ReportLastInternetError() { ReportInternetError(); }

  std::vector<TStatusRecord> statuses;
  std::vector<TProgressRecord> progress;
  std::vector<std::string> downloaded;
};

// Installs a scripted user interface for the scope; what it shows is kept.
class TScopedScriptedUi {
 public:
  explicit TScopedScriptedUi(std::vector<std::string> answers = {})
      : ui_(std::make_shared<platform::TScriptedUserInterface>(std::move(answers), shown_)),
        previous_(platform::SetUserInterface(ui_)) {}
  ~TScopedScriptedUi() { platform::SetUserInterface(previous_); }
  TScopedScriptedUi(const TScopedScriptedUi&) = delete;
  TScopedScriptedUi& operator=(const TScopedScriptedUi&) = delete;

  std::string Shown() const { return shown_.str(); }
  std::size_t AnswersLeft() const { return ui_->AnswersLeft(); }

 private:
  std::ostringstream shown_;
  std::shared_ptr<platform::TScriptedUserInterface> ui_;
  std::shared_ptr<platform::IUserInterface> previous_;
};

}  // namespace kavrel::test
