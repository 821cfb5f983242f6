// The run driver: the order of a run's steps and which results end it.
#include <algorithm>
#include <string_view>
#include <utility>

#include "CommandLine.h"
#include "ControlFile.h"
#include "Errors.h"
#include "Files.h"
#include "Folders.h"
#include "Kavrel.h"
#include "Locations.h"
#include "PathHelpers.h"
#include "Processes.h"
#include "StubHandoff.h"

namespace kavrel {

namespace {

// Marks an engine as running for the length of one run, whatever ends it.
class TRunGuard {
 public:
  explicit TRunGuard(bool& running) : running_(running) { running_ = true; }
  ~TRunGuard() { running_ = false; }
  TRunGuard(const TRunGuard&) = delete;
  TRunGuard& operator=(const TRunGuard&) = delete;

 private:
  bool& running_;
};

}  // namespace

int TKavrel::RunStatus(TRunOutcome Outcome) {
  switch (Outcome) {
    case TRunOutcome::Done:
      return 0;
    case TRunOutcome::Failed:
      return 1;
    case TRunOutcome::Cancelled:
      return 3;
    case TRunOutcome::Declined:
      return 4;
    case TRunOutcome::NoUpdate:
      return 5;
  }
  return 1;
}

void TKavrel::RunUpdate() {
  // A handler that asks for a run while one is under way (a window event
  // delivered during a transfer or after a dialog) is refused.
  if (running_) return;
  TRunGuard guard(running_);
  outcome_ = TRunOutcome::Failed;  // until the run says otherwise
  // A second run for the same installation (two launchers started at once)
  // ends at once with one message; without a temporary folder to lock in, the
  // run goes on unguarded rather than not at all.
  int error = 0;
  const auto lock = platform::TFileLock::TryTake(InstallationLockPath(), &error);
  if (!lock && platform::IsErrorKind(error, platform::TErrorKind::WouldBlock)) {
    ReportStatus(976, kAnotherRunText, 1, error);
    return;
  }
  // Whatever an earlier run or stub left unfinished is completed or undone
  // first: nothing new starts on a mixture of two versions.
  if (!RecoverInstallation()) return;
  ProcessUpdate();
}

void TKavrel::ProcessUpdate() {
  ReportStatus(968, "Non threaded update", 0, 0);
  std::string text;
  GetOSVersion(text);
  ReportStatus(966, text, 0, 0);
  GetIEVersion(text);
  ReportStatus(967, text, 0, 0);
  GetCompilerTag(text);
  ReportStatus(969, text, 0, 0);
  GetInstalledIDEs(text);
  ReportStatus(970, text, 0, 0);

  AppComponentUpdated = false;
  StubStarted = false;
  JournalStarted = false;
  ExpectedContent.reset();
  VerifiedFiles.clear();
  CredentialOrigin.clear();
  FtpDirChanged = false;
  ControlFileName.clear();
  ReportStatus(963, GetVersion(), 0, 0);
  if (const std::string note = platform::TempFolderNote(); !note.empty())
    ReportStatus(982, note, 0, 0);

  if (OpenConnection() != 0) return;
  // An error a step or a handler raises still closes the connection, which
  // also deletes the local copy of the control file.
  const auto closeAfterError = [this] {
    try {
      EndTransaction(false);
    } catch (...) {
      // The first error is the one reported; the next run rolls back.
    }
    try {
      if (Connected)
        CloseConnection();
      else if (!ControlFileName.empty())
        platform::DeleteFileAt(ControlFileName);
    } catch (...) {
      // The first error is the one reported.
    }
  };
  try {
    RunOpenedUpdate();
  } catch (const platform::EInOutError& e) {
    // A file that cannot be written (a full disk) is told as a status too,
    // so that the host's handlers and the log say why the run ended.
    try {
      ReportStatus(976, e.what(), 1, e.ErrorCode);
    } catch (...) {
      // Telling it failed as well: the error itself still goes on.
    }
    closeAfterError();
    throw;
  } catch (...) {
    closeAfterError();
    throw;
  }
}

void TKavrel::RunOpenedUpdate() {
  if (UpdateType == ftpUpdate && ConnectHost() == -1) ReportInternetError();

  auto stop = [this] { CloseConnection(); };
  if (ConnectHandle == nullptr && UpdateType != fileUpdate) return stop();
  if (CheckUpdateSection() != 0) return stop();
  if (!ForceUpdate && (CheckUpdateConditions() == 7 || !UpdateNotRolledBack())) {
    outcome_ = TRunOutcome::NoUpdate;
    AppUpdate = false;
    return stop();
  }
  if (RunInstructions() != 0) {
    outcome_ = TRunOutcome::Declined;  // the question answered No (or a cancel)
    return stop();
  }

  int declined = 0;
  if (auto whatsNew = GetWhatsNew()) declined = ShowWhatsNew(*whatsNew);
  if (auto license = GetLicense(); license && declined == 0) declined = ShowLicense(*license);
  if (declined != 0) {
    outcome_ = TRunOutcome::Declined;
    AppUpdate = false;
    return stop();
  }

  outcome_ = TRunOutcome::Done;  // unless installing fails below
  if (ReadFileList() <= 0) {
    AppUpdate = false;
    return stop();
  }
  const int remaining = SelectFiles();
  if (remaining == 0) {
    // A run whose files were not all put in place does not finish as if they
    // had been: nothing is remembered, so that the next run tries again.
    const int installed = InstallFiles();
    if (TransferDeclined) {
      // Nothing fetched: the update is still to be had, so nothing is
      // remembered and nothing handed over, as for a declined question.
      outcome_ = TRunOutcome::Declined;
      AppUpdate = false;
    } else if (installed == 0) {
      FinishUpdate();
    } else {
      outcome_ = TRunOutcome::Failed;
      // Nor are the components handed over: the stub would complete half an
      // update. They wait in the download folder for the next run.
      AppUpdate = false;
      if (!Cancelled) ReportStatus(986, "a file could not be fetched or put in place", 1, 0);
    }
  }
  CloseConnection();
  // Success only for a run whose files are all in place.
  if (remaining == 0 && !Cancelled && outcome_ == TRunOutcome::Done) NotifySuccess();
  if (RestartNeeded()) RestartApplication();
  // Files the run replaced stay only with the whole update: all of its own
  // steps done, and the rest handed to the stub where there is a rest.
  EndTransaction(outcome_ == TRunOutcome::Done && !Cancelled && !RestartNeeded());
}

void TKavrel::FinishUpdate() {
  if (Cancelled) return;
  if (PostUpdateInfo.Enabled) {
    bool allow = true;
    if (OnBeforePost) OnBeforePost(*this, allow);
    if (allow) {
      SendPostUpdateInfo();
      allow = true;
      if (OnProcessPostResult) OnProcessPostResult(*this, allow);
      if (!allow) return;
    }
  }
  if (SaveLastDate) WriteLastUpdateDate(ControlDateTime);

  const TControlFile control(ControlFileName);
  const std::string updateURL = control.ReadText("action", "updateURL");
  if (!updateURL.empty()) {
    ReportStatus(941, "", 3, 0);
    // A signed installation never lets a redirection leave https: the next
    // control file must come as protected as this one did.
    if (SignedRun() && IsDowngrade(ControlFileAddress, updateURL))
      ReportStatus(980, updateURL + ": not https as the control file", 11, 0);
    else
      WriteLastURL(updateURL);
  }
  if (Utility() != nullptr && ApplyPatch) DeployUtility();
  const std::string runAfter = control.ReadPath(*this, "action", "runafter");
  if (!runAfter.empty()) StartProgram(runAfter);
  ReportStatus(948, "", 3, 0);
}

void TKavrel::StartProgram(const std::string& CommandLine) {
  // Whether the program started is neither tested nor reported.
  if (!IsVistaOrLater()) {
    platform::StartCommandLine(CommandLine);
    return;
  }
  // The shell opens the whole text as one file. A program with arguments
  // after it (or a quoted name) names no file: the program is opened with the
  // rest as its parameters, rather than nothing being started.
  if (platform::FileExists(CommandLine)) {
    platform::ShellOpen(CommandLine);
    return;
  }
  const auto [program, parameters] = ProgramAndParameters(CommandLine);
  if (program.empty() || (parameters.empty() && program == CommandLine))
    platform::ShellOpen(CommandLine);
  else
    platform::ShellOpen(program, parameters);
}

bool TKavrel::RestartNeeded() const { return AppUpdate && !Cancelled && AppComponentUpdated; }

void TKavrel::NotifySuccess() {
  if (OnSuccess) OnSuccess(*this);
}

}  // namespace kavrel
