#include "HostEngine.h"

#include <ostream>

#include "StatusMessages.h"
#include "Text.h"
#include "UpdateLog.h"

namespace kavrel {

void THostEngine::ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) {
  TKavrel::ReportStatus(Ident, Arg, StatusCode, ErrCode);
  out_ << FormatStatusLine(Ident, FormatArg(StatusMessageText(Ident), Arg), StatusCode, ErrCode)
       << std::endl;
}

}  // namespace kavrel
