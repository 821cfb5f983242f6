#include "Unit3.h"

#include "CommandLine.h"
#include "Errors.h"
#include "Files.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "Processes.h"
#include "PropertyTable.h"
#include "SettingsFile.h"
#include "StatusMessages.h"
#include "UserInterface.h"

namespace kavrel::launcher {

const std::vector<std::pair<std::string, std::string>>& Kavrel1StoredProperties() {
  static const std::vector<std::pair<std::string, std::string>> stored = {
      {"Agent", "TKavrel"},          {"DateFormat", "dd/mm/yyyy"},
      {"DateSeparator", "/"},        {"ExtractCAB", "True"},
      {"LogFileName", "KAVREL.LOG"}, {"PostUpdateInfo.Enabled", "False"},
      {"Signature", "Kavrel"},       {"TempDirectory", "."},
      {"TimeFormat", "hh:nn"},       {"TimeSeparator", ":"},
      {"UpdateUpdate", "kvuSilent"}, {"UseCRC32", "True"},
      {"UseWinTempDir", "False"},    {"Version", "2.0.12.0"},
  };
  return stored;
}

TForm3::TForm3(std::unique_ptr<TKavrel> engine, TForm3View& view)
    : kavrel1_(std::move(engine)), view_(view) {
  for (const auto& [name, value] : Kavrel1StoredProperties())
    if (auto refusal = SetPropertyFromText(*kavrel1_, name, value))
      throw std::logic_error("stored property refused: " + *refusal);
  using namespace std::placeholders;
  kavrel1_->OnFileProgress = std::bind(&TForm3::Kavrel1FileProgress, this, _1, _2, _3, _4);
  kavrel1_->OnProcessPostResult = std::bind(&TForm3::Kavrel1ProcessPostResult, this, _1, _2);
  kavrel1_->OnStatus = std::bind(&TForm3::Kavrel1Status, this, _1, _2, _3, _4);
  kavrel1_->OnAppRestart = std::bind(&TForm3::Kavrel1AppRestart, this, _1, _2);
  kavrel1_->OnAppDoClose = std::bind(&TForm3::Kavrel1AppDoClose, this, _1);
  kavrel1_->OnGetFileList = std::bind(&TForm3::Kavrel1GetFileList, this, _1, _2);
  kavrel1_->OnProgressCancel = std::bind(&TForm3::Kavrel1ProgressCancel, this, _1, _2);
  view_.CloseRequested = [this] { FormCloseRequest(); };
  // The launcher carries the patch utility and writes it out for a run that
  // applies patches.
  if (kavrel1_->Utility() == nullptr) kavrel1_->SetUtility(&utility_);
}

void TForm3::FormCloseRequest() {
  closeRequested_ = true;
  run_.clear();  // closed by its user: nothing is started either
  Close();
}

void TForm3::Kavrel1ProgressCancel(TKavrel&, bool& Cancel) { Cancel = Cancel || closeRequested_; }

int TForm3::ExitStatus() const {
  // Ended by a signal before the update was through: cancelled, whatever box
  // it closed on its way.
  const TKavrel::TRunOutcome outcome = kavrel1_->Outcome();
  const bool done =
      activated_ && !failed_ &&
      (outcome == TKavrel::TRunOutcome::Done || outcome == TKavrel::TRunOutcome::NoUpdate);
  if (!done && platform::InterruptRequested()) return kExitCancelled;
  if (failed_ || !activated_) return kExitFailed;
  switch (outcome) {
    case TKavrel::TRunOutcome::Done:
    case TKavrel::TRunOutcome::NoUpdate:
      return kExitDone;
    case TKavrel::TRunOutcome::Cancelled:
      return kExitCancelled;
    case TKavrel::TRunOutcome::Declined:
      return kExitDeclined;
    case TKavrel::TRunOutcome::Failed:
      break;
  }
  return kExitFailed;
}

void TForm3::ShowError(const std::exception& error) {
  failed_ = true;
  platform::UserInterface().MessageBox(error.what(), "Error", platform::TMsgKind::Error,
                                       platform::TMsgButtons::Ok);
}

void TForm3::FormCreate() {
  // An error skips the rest: without settings the picture is not loaded either.
  try {
    const TLauncherSettings settings = ReadSettings(platform::GetCurrentDir());
    kavrel1_->URL = settings.Address;
    kavrel1_->PublicKey = settings.PublicKey;
    kavrel1_->ProductID = settings.Product;
    kavrel1_->ApplyPatch = settings.ApplyPatch;
    kavrel1_->DefaultHealthCheck = settings.HealthCheck;
    run_ = settings.Run;
    view_.LoadPicture(kSplashPicture);
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

void TForm3::FormActivate() {
  if (activated_) return;
  activated_ = true;
  try {
    platform::SetCurrentDir(platform::ProgramFolder());
    kavrel1_->RunUpdate();
  } catch (const std::exception& e) {
    ShowError(e);
  }
  if (!handedOver_ && !run_.empty()) StartApplication();
}

// The application of "Run", its program named from the launcher's folder
// (a bare name would otherwise be looked for along the search path).
void TForm3::StartApplication() {
  auto [program, parameters] = ProgramAndParameters(run_);
  if (platform::DriveRootLength(program) == 0)
    program = AddBackslash(platform::ProgramFolder()) + program;
  if (!platform::StartCommandLine("\"" + program + "\"" +
                                  (parameters.empty() ? "" : " " + parameters)))
    ShowError(platform::EInOutError("Cannot start " + run_,
                                    platform::ErrorNumber(platform::TErrorKind::NotFound)));
  Close();
}

void TForm3::Kavrel1Status(TKavrel&, const std::string& StatusStr, int StatusCode, int) {
  Label2Caption = StatusStr;
  // A second launcher while one updates: the user is told, and it ends.
  if (StatusCode == 1 && StatusStr.find(kAnotherRunText) != std::string::npos) {
    platform::UserInterface().MessageBox(kAlreadyRunningBox, "Information",
                                         platform::TMsgKind::Information,
                                         platform::TMsgButtons::Ok);
    run_.clear();  // the other run starts the application
    Close();
  }
  // A cancelled run (the user, Ctrl+C, a request to end) could still reach
  // the server: no box says otherwise, and nobody is made to confirm one.
  const bool cancelled =
      kavrel1_->Outcome() == TKavrel::TRunOutcome::Cancelled || platform::InterruptRequested();
  if (StatusCode == 2 && !cancelled &&
      platform::UserInterface().MessageBox(kNotFoundBox, "Information",
                                           platform::TMsgKind::Information,
                                           platform::TMsgButtons::Ok) == platform::TModalResult::Ok)
    Close();
  if (Label2Caption == StatusMessageText(948)) kavrel1_->RestartApplication();
}

void TForm3::Kavrel1GetFileList(TKavrel&, TStrings& List) {
  if (List.empty()) {
    kavrel1_->RestartApplication();
    return;
  }
  CheckListBox1.clear();
  for (const std::string& line : List) CheckListBox1.emplace_back(line, true);
}

void TForm3::Kavrel1FileProgress(TKavrel&, const std::string&, int Pos, int Size) {
  ProgressMax = Size;
  ProgressPos = Pos;
  view_.ShowProgress(ProgressMax, ProgressPos);
}

void TForm3::Kavrel1AppRestart(TKavrel&, bool& Allow) { Allow = true; }

void TForm3::Kavrel1ProcessPostResult(TKavrel&, bool& AllowPostResult) { AllowPostResult = true; }

void TForm3::Kavrel1AppDoClose(TKavrel&) {
  handedOver_ = true;
  Close();
}

void TForm3::Close() {
  closed_ = true;
  view_.Close();
}

}  // namespace kavrel::launcher
