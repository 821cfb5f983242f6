// The control file's instructions before the file transfer: a message, a page
// as a dialog, a program, the host's own processing, a browser page and a
// question that can stop the update.
#include "ControlFile.h"
#include "Kavrel.h"
#include "Locations.h"
#include "Processes.h"
#include "Text.h"
#include "UserInterface.h"

namespace kavrel {

void ShowHTMLDialogURL(const std::string& Address) {
  platform::UserInterface().ShowHtmlDialog(Address);
}

int TKavrel::RunInstructions() {
  int result = 0;
  const TControlFile control(ControlFileName);
  auto& ui = platform::UserInterface();

  if (const std::string message = control.ReadMessage("action", "msg"); !message.empty()) {
    ReportStatus(934, "", 3, 0);
    ui.MessageBox(message, "Information", platform::TMsgKind::Information,
                  platform::TMsgButtons::Ok);
  }
  if (const std::string page = control.ReadPath(*this, "action", "htmldlg"); !page.empty()) {
    ReportStatus(935, "", 7, 0);
    if (SignedRun())
      ShowSignedPage(control, page);
    else
      ShowHTMLDialogURL(page);
  }
  if (const std::string program = control.ReadPath(*this, "action", "runbefore"); !program.empty())
    StartProgram(program);
  if (OnCustomProcess)
    OnCustomProcess(*this, control.ReadText("custom", "processmsg"),
                    control.ReadText("custom", "processparam"));
  if (std::string address = control.ReadPath(*this, "action", "showURL"); !address.empty()) {
    ReportStatus(942, "", 3, 0);
    // Handed to another program, whose command line every local user can
    // read: no credentials go with it, neither the proxy's nor any written in.
    address = WithoutURLCredentials(address);
    // The browser of the system the control file was written for; where it
    // does not exist, the desktop opens the address with what it associates.
    if (!platform::ShellOpen("iexplore.exe", "-new " + address)) platform::ShellOpen(address);
  }
  if (const std::string question = control.ReadMessage("action", "query"); !question.empty()) {
    ReportStatus(936, "", 3, 0);
    if (ui.MessageBox(question, "Question", platform::TMsgKind::Information,
                      platform::TMsgButtons::YesNo) != platform::TModalResult::Yes) {
      AppUpdate = false;
      result = -1;
    }
  }
  if (Cancelled) result = -1;
  return result;
}

}  // namespace kavrel
