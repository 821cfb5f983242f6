// libsodium must be initialised once before its first use; every entry of
// this library calls this first.
#pragma once

namespace kavrel::trust {

void EnsureSodium();

}  // namespace kavrel::trust
