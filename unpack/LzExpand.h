// Expansion of files compressed in the LZ format with the "SZDD" header,
// decoded by the system's LZ library on Windows and by libmspack elsewhere.
// Shared by the engine and the updater stub.
#pragma once

#include <optional>
#include <string>

#include "PlaceFile.h"

namespace kavrel {

// The name a compressed file expands to: its name with the last character
// replaced by the one its header records ("kvsetup.ex_" gives "kvsetup.exe"),
// or, when the header records none, without a trailing "_". Nothing when the
// file cannot be read, is not in the LZ format, or records a character that
// cannot end a name (a separator, a dot, a drive mark, a control character).
std::optional<std::string> ExpandedLZName(const std::string& FileName);

// Expands `FileName` into the file of its expanded name, beside it or in
// `Folder` (ending with a separator; empty for the current folder), which is
// replaced in one step once the whole file of the length the header records
// has been written. The expanded file's path, or nothing when nothing was put
// in place. The compressed file stays (unless it is its own expanded name:
// then it is what was replaced). `place`, when given, puts the file there.
std::optional<std::string> ExpandLZ(const std::string& FileName,
                                    const std::optional<std::string>& Folder = std::nullopt,
                                    const TPlaceFile& place = {});

// Expands `FileName` and deletes it, whether or not the expansion worked. A
// file that is not in the LZ format is no compressed source: it stays exactly
// as it was. False only when a compressed file could not be expanded (a full
// disk, a damaged source), so that the caller can report it.
bool ExpandLZFile(const std::string& FileName);

}  // namespace kavrel
