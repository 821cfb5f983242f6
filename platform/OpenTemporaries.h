// The temporary files this process holds open (TFile::CreateTemporary until
// the file is closed), so that an end that skips every destructor can still
// take them away. Used by the file backends only.
#pragma once

#include <string>

namespace kavrel::platform {

void RegisterOpenTemporary(const std::string& path);
void ForgetOpenTemporary(const std::string& path);

}  // namespace kavrel::platform
