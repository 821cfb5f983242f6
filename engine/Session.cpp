// The Internet session of a run: the connection test, dial-up, the session
// and the FTP host connection, and the report of the last Internet error.
#include "Files.h"
#include "Kavrel.h"
#include "Processes.h"
#include "UserInterface.h"

namespace kavrel {

namespace {

// The error a request made without a session reports (an invalid handle).
constexpr int kNoSession = 6;

// INTERNET_AUTODIAL_FORCE_ONLINE and INTERNET_AUTODIAL_FORCE_UNATTENDED.
constexpr int kDialWithPrompt = 1;
constexpr int kDialSilently = 2;

// A dial-up entry the system does not have counts as having returned -1.
template <typename Entry, typename... Args>
int CallDialupEntry(const Entry& entry, Args... args) {
  return entry ? entry(args...) : -1;
}

bool HangsUp(TKavrelConnect mode) {
  return mode == kvcConnectPromptHangup || mode == kvcConnectSilentHangup;
}

}  // namespace

bool TKavrel::IsInternetConnected() {
  if (URL.find("127.0.0.1") != std::string::npos) return true;
  return CallDialupEntry(platform::DialupEntries().GetConnectedState) != 0;
}

void TKavrel::SetConnectTimeout(int Milliseconds) {
  if (SessionHandle) SessionHandle->SetConnectTimeout(Milliseconds);
}

int TKavrel::OpenConnection() {
  FtpConnectionHandle.reset();
  SessionHandle.reset();
  ConnectHandle = nullptr;
  if (UpdateType == fileUpdate) return 0;
  ReportStatus(918, "", 3, 0);
  if (UpdateConnect == kvcNone) return 0;
  if (!IsInternetConnected()) {
    if (UpdateConnect == kvcNoConnect) return 1;
    if (UpdateConnect == kvcConnectPrompt || UpdateConnect == kvcConnectPromptHangup) {
      ReportStatus(919, "", 3, 0);
      if (CallDialupEntry(platform::DialupEntries().Autodial, kDialWithPrompt) == 0) {
        ReportStatus(953, "", 3, 0);
        return 3;
      }
      Dialled = true;
    }
  }
  if (!IsInternetConnected() &&
      (UpdateConnect == kvcConnectSilent || UpdateConnect == kvcConnectSilentHangup)) {
    ReportStatus(920, "", 3, 0);
    if (CallDialupEntry(platform::DialupEntries().Autodial, kDialSilently) == 0) {
      ReportStatus(953, "", 3, 0);
      return 3;
    }
    Dialled = true;
  }
  ReportStatus(921, "", 3, 0);
  SessionHandle = platform::TInternetSession::Open(Agent, Proxy);
  if (!SessionHandle) {
    ReportStatus(922, "", 1, 0);
    return 2;
  }
  SessionHandle->SetIdleHandler([this] {
    PumpMessages();
    return !Cancelled;
  });
  SessionHandle->SetProxyCredentials(ProxyUserID, ProxyPassword);
  if (TimeOut > 0) SetConnectTimeout(TimeOut);
  if (UpdateType == httpUpdate) ConnectHandle = SessionHandle.get();
  Connected = true;
  return 0;
}

int TKavrel::ConnectHost() {
  FtpDirChanged = false;
  ReportStatus(923, Host, 3, 0);
  if (!SessionHandle) {
    platform::SetLastInternetError(kNoSession, "No Internet session is open");
    return -1;
  }
  const bool login = !UserID.empty() && !Password.empty();
  // The port is a 16-bit number, and 0 stands for the protocol's own.
  const int port = (Port & 0xFFFF) != 0 ? (Port & 0xFFFF) : 21;
  FtpConnectionHandle =
      SessionHandle->ConnectFtp(Host, port, login ? UserID : "", login ? Password : "", FTPPassive);
  ConnectHandle = FtpConnectionHandle.get();
  return ConnectHandle != nullptr ? 0 : -1;
}

void TKavrel::CloseConnection() {
  if (UpdateType != fileUpdate) {
    if (UpdateType == ftpUpdate && ConnectHandle != nullptr) {
      FtpConnectionHandle.reset();
      ConnectHandle = nullptr;
      ReportStatus(954, "", 3, 0);
    }
    if (SessionHandle) {
      SessionHandle.reset();
      if (UpdateType == httpUpdate) ConnectHandle = nullptr;
      ReportStatus(949, "", 3, 0);
    }
    if (Dialled && HangsUp(UpdateConnect)) {
      CallDialupEntry(platform::DialupEntries().AutodialHangup);
      ReportStatus(955, "", 3, 0);
    }
    ReportStatus(949, "", 3, 0);
  }
  if (!ControlFileName.empty()) platform::DeleteFileAt(ControlFileName);
  Connected = false;
}

void TKavrel::ReportInternetError() {
  const platform::TInternetError error = platform::LastInternetError();
  if (error.Code == 0) return;
  ReportStatus(976, error.Text, 1, error.Code);
  if (!OnStatus && UpdateUpdate != kvuSilent)
    platform::UserInterface().MessageBox(error.Text, "Error", platform::TMsgKind::Error,
                                         platform::TMsgButtons::Ok);
}

void TKavrel::PumpMessages() {
  // An interrupt (Ctrl+C, a request to end) cancels the run the way the
  // user's cancel does: the transfer under way is abandoned and nothing it
  // fetched replaces a file.
  if (platform::InterruptRequested()) Cancelled = true;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastPump_ < std::chrono::milliseconds(20)) return;
  lastPump_ = now;
  platform::UserInterface().ProcessMessages();
}

}  // namespace kavrel
