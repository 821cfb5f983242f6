// The well-known folders of the machine, each without a trailing separator.
#pragma once

#include <string>

namespace kavrel::platform {

// The user's temporary folder: $TMPDIR when it is set and nobody else may
// write into it, else a folder of this user alone (mode 0700, never a link)
// below $TMPDIR, $XDG_RUNTIME_DIR or /tmp, made when missing. When another user
// holds that folder's name, a folder of the user's cache serves, or a fresh
// one. Raises EInOutError when no such folder can be had. On Windows: the
// folder the system names for this user's temporary files, which is the
// user's own already.
std::string TempFolder();
// Why TempFolder is not the folder it would have been, for the log; empty
// when it is.
std::string TempFolderNote();
// The user's documents folder; empty when it cannot be determined.
std::string DocumentsFolder();
// The system's shared-program folder (the Windows folder).
std::string WindowsFolder();
// The system's library folder (the Windows system folder).
std::string SystemFolder();

}  // namespace kavrel::platform
