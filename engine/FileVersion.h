// The file version of a local file, as the comparison of local files needs it.
#pragma once

#include <string_view>

#include "Version.h"

namespace kavrel {

// The two file-version words of the fixed version block in a PE image's version
// resource; all-ones words for a file without one, for any other kind of file
// and for a file that cannot be opened or read.
TVersionWords GetFileVersion(std::string_view path);

}  // namespace kavrel
