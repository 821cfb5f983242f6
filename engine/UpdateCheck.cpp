// The first steps of a run once the connection is open: fetching the control
// file, checking its signature, taking its application settings, and deciding
// whether and why an update applies.
#include <algorithm>

#include "ControlFile.h"
#include "Kavrel.h"
#include "Locations.h"
#include "PathHelpers.h"
#include "StubHandoff.h"
#include "System.h"
#include "Text.h"

namespace kavrel {

void TKavrel::GetControlFile(std::string& Address) {
  Address = ReadLastURL();
  // A remembered address that would take an https control file to a weaker
  // scheme is not followed.
  if (!Address.empty() && IsDowngrade(ExpandMacros(URL), ExpandMacros(Address))) {
    ReportStatus(980, Address + ": not https as " + URL, 11, 0);
    Address.clear();
  }
  if (Address.empty()) Address = URL;
  Address = ExpandMacros(Address);
}

int TKavrel::CheckUpdateSection() {
  int result = 0;
  std::string address;
  GetControlFile(address);
  // Always the user's temporary folder, whatever the download folder is.
  const std::string folder = GetTempDir();
  // Stopped while it arrives: no control file is anywhere near this size.
  ExpectedContent = TSignedContent::Bounded(TControlFile::kMaxSize,
                                            "more than " + std::to_string(TControlFile::kMaxSize) +
                                                " bytes arrived, more than any control file has");
  if (!DownloadFile(ConnectHandle, address, folder)) {
    ReportStatus(925, "", 2, 0);
    return 4;
  }
  ControlFileName = folder + FileNameFromURL(address);
  ControlFileAddress = address;
  // Nothing of a signed installation's control file is read, not even the
  // application values, before its signature and sequence are checked.
  if (SignedRun() && VerifyControlFile(address) != 0) return 4;
  ReportStatus(926, "", 3, 0);

  const TControlFile control(ControlFileName);
  if (SignatureCheck && control.ReadText("update", "signature") != Signature) {
    ReportStatus(927, "", 11, 4);
    result = 5;
  }
  AppUpdate = control.ReadFlag("application", "appupdate", false);
  AppName = control.ReadPath(*this, "application", "appname");
  AppParams = control.ReadText("application", "appparam");
  if (AppName.empty()) AppUpdate = false;
  if (OnSetAppParams) OnSetAppParams(*this, AppParams);
  if (AppParams.empty()) AppParams = " ";
  AppComps = control.ReadPath(*this, "application", "appcomps");
  SilentRestart = control.ReadFlag("application", "silentrestart", false);
  // The restarted application's health check: off unless the control file
  // (or the host, where it gives none) asks for one.
  const std::string health = control.ReadText("application", "healthcheck");
  HealthCheck =
      health.empty()
          ? DefaultHealthCheck
          : static_cast<int>(std::min<std::int64_t>(ParseDecimal(health).value_or(0), 3600));
  ConfirmStart = control.ReadFlag("application", "confirm", false);
  // The stub's rule drops every double quote: an update it could not be
  // handed is refused as a whole, before anything is installed, rather than
  // half applied with the application left old for good.
  if (AppUpdate && result == 0 &&
      !StubCanReadBack({0, false, AppName, AppParams, DownloadFolderForStub(), AppComps})) {
    ReportStatus(985,
                 "the updater cannot be handed a double quote in the application's path, "
                 "parameters, download folder or components",
                 1, 0);
    result = 5;
  }
  return result;
}

int TKavrel::CheckUpdateConditions() {
  int result = 7;
  const TControlFile control(ControlFileName);
  UpdateDescription = control.ReadText("update", "descr");

  const std::string date = control.ReadText("update", "date");
  if (!date.empty()) {
    ReportStatus(928, "", 3, 0);
    ControlDateTime = ParseControlDateTime(date, control.ReadText("update", "time"));
    LocalVersionFile = control.ReadPath(*this, "update", "localversion");
    LastUpdateDateTime = ReadLastUpdateDate();
    // Compared at the precision the memory keeps: a time with milliseconds
    // must not make the same update apply again on every run.
    const TDateTime controlDate = SaveLastDate ? AsRemembered(ControlDateTime) : ControlDateTime;
    if (LastUpdateDateTime >= controlDate) {
      ReportStatus(930, "", 4, 0);
    } else {
      const TFormatSettings user = platform::UserFormatSettings();
      ReportStatus(929, FormatDateTime(user.ShortDateFormat, ControlDateTime, user), 5, 0);
      result = 6;
    }
  }

  if (control.ReadTrigger("update", "unconditional") && result == 7) result = 8;

  if (result == 7) {
    std::string newVersion = control.ReadText("update", "newversion");
    const int newSize = control.ReadInteger("update", "newsize", 0);
    std::string localPath = control.ReadPath(*this, "update", "localversion");
    const int newChecksum = control.ReadInteger("update", "newchecksum", -1);
    const bool wanted = !newVersion.empty() || newSize > 0 || newChecksum != -1;
    if (wanted && !localPath.empty()) {
      if (newChecksum != -1) {
        result = 10;
        ReportStatus(931, "", 3, 0);
      } else if (newSize > 0) {
        result = 9;
        ReportStatus(932, "", 3, 0);
      } else {
        result = 11;
        ReportStatus(933, "", 3, 0);
      }
      if (CompareLocalFile(newVersion, localPath, newSize, newChecksum)) {
        ReportStatus(929, newVersion, 5, 0);
      } else {
        ReportStatus(930, "", 4, 0);
        result = 7;
      }
    }
    NewVersionText = newVersion;
    LocalVersionText = localPath;
  }

  if (OnCustomValidate) {
    const std::string message = control.ReadText("custom", "validatemsg");
    const std::string param = control.ReadText("custom", "validateparam");
    bool allow = result != 7;
    OnCustomValidate(*this, message, param, allow);
    result = allow ? 12 : 7;
  }
  return result;
}

}  // namespace kavrel
