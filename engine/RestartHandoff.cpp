// The restart handoff: the application's components go to the updater stub,
// which waits for this process to end, completes them and starts the
// application again.
#include <map>

#include "Errors.h"
#include "Files.h"
#include "IniDocument.h"
#include "Kavrel.h"
#include "PathHelpers.h"
#include "Processes.h"
#include "StatusMessages.h"
#include "StubHandoff.h"
#include "UserInterface.h"

namespace kavrel {

namespace {

// Leaves the update log's name for the stub, and in a signed run the hashes
// of the files it may install; the file's other sections and keys stay as
// they are.
void WriteHandOffFile(const std::string& logName, bool verified,
                      const std::map<std::string, std::string>& hashes, int healthSeconds,
                      bool confirm) {
  const std::string path = HandOffFilePath();
  const auto old = platform::ReadWholeFile(path);
  // A file that is there but cannot be read would lose its other keys.
  if (!old && platform::FileExists(path))
    throw platform::EInOutError("Unable to write to " + path,
                                platform::ErrorNumber(platform::TErrorKind::AccessDenied));
  TIniDocument ini = TIniDocument::Parse(old.value_or(""));
  ini.WriteString(kHandOffSection, kHandOffLogKey, logName);
  // Hashes of an earlier hand-off never speak for this one.
  for (const std::string& key : ini.KeyNames(kHandOffHashSection))
    ini.DeleteKey(kHandOffHashSection, key);
  ini.DeleteKey(kHandOffSection, kHandOffVerifiedKey);
  ini.DeleteKey(kHandOffSection, kHandOffHealthKey);
  ini.DeleteKey(kHandOffSection, kHandOffConfirmKey);
  if (healthSeconds > 0) {
    ini.WriteString(kHandOffSection, kHandOffHealthKey, std::to_string(healthSeconds));
    ini.WriteString(kHandOffSection, kHandOffConfirmKey, confirm ? "1" : "0");
  }
  if (verified) {
    ini.WriteString(kHandOffSection, kHandOffVerifiedKey, "1");
    // Numbered "HASH NAME" values: a name may hold what a key may not.
    int n = 0;
    for (const auto& [name, hash] : hashes)
      ini.WriteString(kHandOffHashSection, std::to_string(++n), hash + " " + name);
  }
  try {
    platform::WriteFileAtomically(path, ini.ToText());
  } catch (const platform::EInOutError& e) {
    throw platform::EInOutError("Unable to write to " + path, e.ErrorCode);
  }
}

}  // namespace

// The download folder as the stub is handed it: an empty TempDirectory is
// the current folder, since an empty argument would be lost and shift the
// others into its place.
std::string TKavrel::DownloadFolderForStub() const {
  const std::string folder = UseWinTempDir ? GetTempDir() : TempDirectory;
  return folder.empty() ? AddBackslash(platform::GetCurrentDir()) : folder;
}

void TKavrel::RestartApplication() {
  // Two stubs would work on the same components and start the application
  // twice: once one has started, a later call in the same run does nothing.
  if (StubStarted) return;
  const std::string folder = platform::GetCurrentDir();
  ReportStatus(959, folder, 0, 0);
  bool cancel = false;
  CheckCancel(cancel);
  if (cancel) return;
  bool allow = true;
  if (OnAppRestart)
    OnAppRestart(*this, allow);
  else if (!SilentRestart)
    allow = platform::UserInterface().MessageBox(
                StatusMessageText(911), "Confirm", platform::TMsgKind::Confirmation,
                platform::TMsgButtons::YesNo) == platform::TModalResult::Yes;
  if (!allow) return;

  const TStubCommand command{platform::CurrentProcessId(),   Logging,
                             AddBackslash(folder) + AppName, AppParams,
                             DownloadFolderForStub(),        AppComps};
  if (!StubCanReadBack(command))
    throw platform::EInOutError(
        "The updater cannot be handed a double quote in the application's path, parameters, "
        "download folder or components",
        platform::ErrorNumber(platform::TErrorKind::InvalidArgument));
  DeployStub();
  WriteHandOffFile(LogFileName(), SignedRun(), VerifiedFiles, HealthCheck, ConfirmStart);
  const std::string commandLine = BuildStubCommandLine(command);
  ReportStatus(958, commandLine, 0, 0);
  // The stub gets none of this process's open files; it runs in the current
  // folder, the application's, which it works in.
  const std::string stub = GetTempDir() + kStubProgramName;
  // The stub runs with the user's own rights; only when it could not replace
  // the files otherwise is it given administrator rights, with the user's
  // consent.
  std::string unwritable;
  for (const std::string& target : {folder, command.SourceFolder})
    if (unwritable.empty() && !platform::CanCreateIn(target))
      unwritable = target.empty() ? "." : target;
  if (!unwritable.empty()) ReportStatus(983, unwritable, 0, 0);
  JournalHandoff();
  const bool started = unwritable.empty() ? platform::StartDetached(stub, commandLine)
                                          : platform::StartDetachedElevated(stub, commandLine);
  if (!started) {
    const int error = platform::LastSystemError();
    throw platform::EInOutError(
        "Cannot start the updater " + stub + ": " + platform::SystemErrorText(error), error);
  }
  StubStarted = true;
  if (OnAppDoClose)
    OnAppDoClose(*this);
  else
    platform::RequestTerminate();
}

}  // namespace kavrel
