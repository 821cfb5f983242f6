// Cabinet extraction: every file of a cabinet (the Microsoft Cabinet format)
// into a folder, decoded by the system's cabinet library on Windows and by
// libmspack elsewhere. Shared by the engine and the updater stub; each
// extraction keeps its state to itself.
#pragma once

#include <string>
#include <vector>

#include "PlaceFile.h"

namespace kavrel {

// Extracts every file of `CabFile` into `DestDir` (empty: the current folder)
// under the name stored for it, whose folder parts become subfolders. Each
// file gets the stored date and time, read as local time, as its last write.
// 0 when every file was extracted, -1 otherwise: a missing or unreadable file,
// one that is not a cabinet, a cabinet that belongs to a set of several, a
// stored name that would write outside `DestDir` (nothing is written then), or
// a damaged file (the files before it stay; the damaged one is not written).
// `written`, when given, receives the path of every file put in place;
// `place`, when given, puts each one there.
int ExtractCabinet(const std::string& CabFile, const std::string& DestDir,
                   std::vector<std::string>* written = nullptr, const TPlaceFile& place = {});

// The stored name of a cabinet entry as UTF-8 (it is marked UTF-8, else it is
// ISO-8859-1; on Windows such a name is first read in the system's 8-bit code
// page and then passed on as UTF-8), or empty when it cannot be a name below the destination:
// empty, absolute, naming a drive, with a part that is empty, "." or "..", or that ends in a dot or
// a blank, with control characters, or not valid UTF-8.
std::string SafeStoredName(const char* stored, bool utf8);

}  // namespace kavrel
