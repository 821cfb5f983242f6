#include "Kavrel.h"

#include "StatusMessages.h"
#include "System.h"
#include "Text.h"
#include "UpdateLog.h"

namespace kavrel {

namespace {

// The engine's version, packed as major, minor, release and build bytes.
constexpr std::uint32_t kPackedVersion = (2u << 24) | (0u << 16) | (12u << 8) | 0u;

}  // namespace

TKavrel::TKavrel() {
  LastURLEntry.Key.clear();
  PostUpdateInfo.Enabled = false;
  Port = 21;
  DateFormat = "dd/mm/yyyy";
  DateSeparator = "/";
  TimeFormat = "hh:nn";
  TimeSeparator = ":";
  AppUpdate = false;
  AppName.clear();
  AppComps.clear();
  SignatureCheck = false;
  Signature = "Kavrel";
  SilentRestart = false;
  FtpDirChanged = false;
  TempDirectory = ".";
  SessionHandle = nullptr;
  Dialled = false;
  Agent = "TKavrel";
  Authenticate = kaNever;
  SetLogFileName("KAVREL.LOG");
  UseWinTempDir = true;
  UpdateType = httpUpdate;
  VersionCheck = vcUpdateOnly;
  UpdateUpdate = kvuPromptOnce;
  UpdateConnect = kvcNoConnect;
}

// Closes no connection and deletes no file: a run cleans up after itself.
TKavrel::~TKavrel() = default;

void TKavrel::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == FUtility) FUtility = nullptr;
}

void TKavrel::SetUtility(TKavrelUtility* Value) {
  if (FUtility == Value) return;
  if (FUtility != nullptr) FUtility->RemoveFreeNotification(this);
  FUtility = Value;
  if (FUtility != nullptr) FUtility->FreeNotification(this);
}

std::string TKavrel::GetVersion() const {
  return std::to_string((kPackedVersion >> 24) & 0xFF) + "." +
         std::to_string((kPackedVersion >> 16) & 0xFF) + "." +
         std::to_string((kPackedVersion >> 8) & 0xFF) + "." + std::to_string(kPackedVersion & 0xFF);
}

void TKavrel::SetVersion(const std::string&) {}

void TKavrel::SetLogFileName(const std::string& Value) {
  FLogFileName = Value;
  SetCurrentLogName(Value);
}

void TKavrel::ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) {
  const std::string text = FormatArg(StatusMessageText(Ident), Arg);
  if (Logging)
    LogWriteLine(FormatLogLine(platform::LocalNow(), platform::UserFormatSettings(), Ident, text,
                               StatusCode, ErrCode));
  if (OnStatus) OnStatus(*this, text, StatusCode, ErrCode);
}

void TKavrel::CheckCancel(bool& Cancel) {
  if (OnProgressCancel) OnProgressCancel(*this, Cancel);
  if (Cancel) ReportStatus(964, "", 0, 0);
}

void TKavrel::NotifyFileDownloaded(const std::string& FileName) {
  if (OnFileDownloaded) OnFileDownloaded(*this, FileName);
}

}  // namespace kavrel
