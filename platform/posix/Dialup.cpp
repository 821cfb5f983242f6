// Linux has no dial-up entry points: every entry is missing, so each call
// counts as having returned -1 (connected, dialled, hung up).
#include "Internet.h"

namespace kavrel::platform {

TDialupEntries& DialupEntries() {
  static TDialupEntries entries;
  return entries;
}

}  // namespace kavrel::platform
