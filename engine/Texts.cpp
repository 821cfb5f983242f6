// The what's-new and licence texts: fetched from the addresses the control
// file names, shown in a dialog or handed to the host.
#include "ControlFile.h"
#include "Kavrel.h"
#include "UserInterface.h"

namespace kavrel {

namespace {

constexpr std::int64_t kMaxTextSize = 16 * 1024 * 1024;

}  // namespace

// In a signed run a text is fetched only with the hash its section gives, and
// one that differs counts as one that could not be fetched.
std::optional<TStrings> TKavrel::DownloadSectionText(const TControlFile& Control,
                                                     const std::string& Section,
                                                     const std::string& Address) {
  if (SignedRun()) {
    std::string why;
    const auto expected = ReadSignedContent(Control, Section, "sha256", kMaxTextSize, why);
    if (!expected) {
      ReportUnsigned(Address, why);
      return std::nullopt;
    }
    ExpectedContent = expected;
  }
  return DownloadText(Address);
}

std::optional<TStrings> TKavrel::GetWhatsNew() {
  const std::string section = "whatsnew" + LanguageID;
  const TControlFile control(ControlFileName);
  std::string address = control.ReadText(section, "file");
  if (address.empty()) return std::nullopt;
  if (OnBeforeFileDownload) {
    const std::string description = address;  // stays as read when the handler changes the address
    OnBeforeFileDownload(*this, 0, description, address);
  }
  ReportStatus(937, "", 12, 0);
  return DownloadSectionText(control, section, address);
}

std::optional<TStrings> TKavrel::GetLicense() {
  const std::string section = "eula" + LanguageID;
  const TControlFile control(ControlFileName);
  const std::string address = control.ReadText(section, "file");
  if (address.empty()) return std::nullopt;
  ReportStatus(939, "", 13, 0);
  return DownloadSectionText(control, section, address);
}

namespace {

// A host's handler decides: leaving the result at 1 accepts.
int AskHost(TKavrel& engine, const TKavrelTextDownloaded& handler, TStrings& lines) {
  int result = 1;
  handler(engine, lines, result);
  return result == 1 ? 0 : -1;
}

}  // namespace

int TKavrel::ShowWhatsNew(TStrings& List) {
  if (OnDownloadedWhatsNew) return AskHost(*this, OnDownloadedWhatsNew, List);
  const TControlFile control(ControlFileName);
  platform::TTextDialog dialog;
  dialog.Caption = control.ReadText("whatsnew", "caption");
  dialog.OkCaption = control.ReadText("whatsnew", "okbtn", "Ok");
  dialog.CancelCaption = control.ReadText("whatsnew", "cancelbtn", "Cancel");
  dialog.Lines = List;
  if (platform::UserInterface().ShowWhatsNewDialog(dialog)) return 0;
  ReportStatus(938, "", 14, 0);
  return -1;
}

int TKavrel::ShowLicense(TStrings& List) {
  if (OnDownloadedEULA) return AskHost(*this, OnDownloadedEULA, List);
  const TControlFile control(ControlFileName);
  platform::TTextDialog dialog;
  dialog.Caption = control.ReadText("eula", "caption");
  dialog.OkCaption = control.ReadText("eula", "okbtn", "Ok");
  dialog.AcceptCaption = control.ReadText("eula", "accept", "I accept");
  dialog.NotAcceptCaption = control.ReadText("eula", "notaccept", "I do not accept");
  dialog.Lines = List;
  return platform::UserInterface().ShowLicenseDialog(dialog) ? 0 : -1;
}

}  // namespace kavrel
