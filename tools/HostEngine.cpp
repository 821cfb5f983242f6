#include "HostEngine.h"

#include <ostream>

#include "StatusMessages.h"
#include "Text.h"
#include "UpdateLog.h"

namespace kavrel {

void THostEngine::ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) {
  // Printed before the handlers hear of it, so that what a handler does
  // (a handoff at message 948) follows its cause.
  out_ << FormatStatusLine(Ident, FormatArg(StatusMessageText(Ident), Arg), StatusCode, ErrCode)
       << std::endl;
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

}  // namespace kavrel
