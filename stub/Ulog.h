// The updater stub's log writer: it continues the engine's update log, one
// time-stamped line per message, the file opened and closed for every line.
#pragma once

#include <string>
#include <string_view>

namespace kavrel::stub {

// Where the lines go: the update log's path, resolved as the engine resolves it.
void SetLogPath(std::string path);
const std::string& LogPath();

// Appends "dd/mm/yyyy hh:nn:ss : [000] " (the user's date and time separators)
// and the message. Raises platform::EInOutError when the line cannot be written.
void WriteLog(std::string_view message);

}  // namespace kavrel::stub
