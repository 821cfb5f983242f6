// The update log: one time-stamped line per status message, CR LF line ends.
// The file is opened, appended to and closed for every line, so other writers
// (the updater stub) find it closed between lines.
#pragma once

#include <string>
#include <string_view>

#include "DateTime.h"

namespace kavrel {

// The process-wide current log name, shared by every engine in the process:
// the last name set wins.
void SetCurrentLogName(std::string_view name);
std::string CurrentLogName();

// Where a log of this name lies: a name with "\", "/" or ":" is used as it is;
// a bare name lies in the user's documents folder, or in the current folder when
// there is none.
std::string LogFilePath(std::string_view name);

// Appends one line, unchanged, to the current log. A log that cannot be opened
// for appending is created when it does not exist; an existing log is never
// emptied. Raises platform::EInOutError when the line cannot be written.
void LogWriteLine(std::string_view line);
// Appends one line to the log file at `path` by the same rules.
void AppendLogLine(const std::string& path, std::string_view line);

// "[ident] message (Status:s) (Error:e)": a status message as the log and the
// command line show it.
std::string FormatStatusLine(int ident, std::string_view message, int statusCode, int errCode);

// "dd/mm/yyyy hh:nn:ss : " and the status line, with the user's date and time
// separators.
std::string FormatLogLine(TDateTime when, const TFormatSettings& settings, int ident,
                          std::string_view message, int statusCode, int errCode);

}  // namespace kavrel
