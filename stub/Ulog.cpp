#include "Ulog.h"

#include "DateTime.h"
#include "System.h"
#include "UpdateLog.h"

namespace kavrel::stub {

namespace {

std::string gLogPath;

}  // namespace

void SetLogPath(std::string path) { gLogPath = std::move(path); }

void WriteLog(std::string_view message) {
  const std::string stamp =
      FormatDateTime("dd/mm/yyyy hh:nn:ss", platform::LocalNow(), platform::UserFormatSettings());
  AppendLogLine(gLogPath, stamp + " : [000] " + std::string(message));
}

}  // namespace kavrel::stub
