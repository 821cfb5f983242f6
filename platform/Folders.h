// The well-known folders of the machine, each without a trailing separator.
#pragma once

#include <string>

namespace kavrel::platform {

// The user's temporary folder: $TMPDIR when it is set, else a folder of this
// user alone below $XDG_RUNTIME_DIR or /tmp, made when missing. Raises
// EInOutError when that folder cannot be made, or is a link, another user's,
// or open to others. On Windows: the folder the system names for this user's
// temporary files, which is the user's own already.
std::string TempFolder();
// The user's documents folder; empty when it cannot be determined.
std::string DocumentsFolder();
// The system's shared-program folder (the Windows folder).
std::string WindowsFolder();
// The system's library folder (the Windows system folder).
std::string SystemFolder();

}  // namespace kavrel::platform
