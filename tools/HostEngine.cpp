#include "HostEngine.h"

#include <ostream>

#include "JsonText.h"
#include "StatusMessages.h"
#include "Text.h"
#include "UpdateLog.h"

namespace kavrel {

THostEngine::THostEngine(std::ostream& out, TOutputForm Form, bool ShowProgress)
    : out_(out), form_(Form) {
  SetUtility(&utility_);
  if (ShowProgress && Form != TOutputForm::Quiet) {
    progress_.emplace(out);
    OnFileProgress = [this](TKavrel&, const std::string& FileName, int Pos, int Size) {
      progress_->Update(FileName, Pos, Size);
    };
  }
}

void THostEngine::ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) {
  // Printed before the handlers hear of it, so that what a handler does
  // (a handoff at message 948) follows its cause.
  if (progress_) progress_->Clear();
  const std::string message = FormatArg(StatusMessageText(Ident), Arg);
  ++messages_;
  if (form_ == TOutputForm::Lines)
    out_ << FormatStatusLine(Ident, message, StatusCode, ErrCode) << std::endl;
  else if (form_ == TOutputForm::Json)
    out_ << "{\"type\": \"status\", \"id\": " << Ident << ", \"message\": " << JsonText(message)
         << ", \"status\": " << StatusCode << ", \"error\": " << ErrCode << "}" << std::endl;
  TKavrel::ReportStatus(Ident, Arg, StatusCode, ErrCode);
}

bool THostEngine::Fetch(const std::string& Location, const std::string& TargetDir) {
  if (OpenConnection() != 0) return false;
  if (UpdateType == ftpUpdate && ConnectHost() == -1) ReportInternetError();
  bool fetched = false;
  if (ConnectHandle != nullptr || UpdateType == fileUpdate)
    fetched = DownloadFile(ConnectHandle, Location, TargetDir);
  CloseConnection();
  return fetched;
}

void THostEngine::Finish(int Status, const char* Outcome, const std::string& Error) {
  if (progress_) progress_->Clear();
  if (form_ != TOutputForm::Json) return;
  out_ << "{\"type\": \"summary\", \"status\": " << Status << ", \"outcome\": \"" << Outcome
       << "\", \"messages\": " << messages_;
  if (!Error.empty()) out_ << ", \"error\": " << JsonText(Error);
  out_ << "}" << std::endl;
}

const char* RunStatusName(int Status) {
  switch (Status) {
    case 0:
      return "updated";
    case 2:
      return "usage";
    case 3:
      return "cancelled";
    case 4:
      return "refused";
    case 5:
      return "no-update";
    default:
      return "failed";
  }
}

}  // namespace kavrel
