#include "Ulog.h"

#include "DateTime.h"
#include "Errors.h"
#include "System.h"
#include "UpdateLog.h"

namespace kavrel::stub {

namespace {

std::string gLogPath;

}  // namespace

void SetLogPath(std::string path) { gLogPath = std::move(path); }
const std::string& LogPath() { return gLogPath; }

void WriteLog(std::string_view message) {
  const std::string stamp =
      FormatDateTime("dd/mm/yyyy hh:nn:ss", platform::LocalNow(), platform::UserFormatSettings());
  // A log that cannot be written costs its lines, never the update: the stub
  // still completes the files and restarts the application.
  try {
    AppendLogLine(gLogPath, stamp + " : [000] " + std::string(message));
  } catch (const platform::EInOutError&) {
  }
}

}  // namespace kavrel::stub
