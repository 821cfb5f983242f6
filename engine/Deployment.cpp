// Programs the engine writes to disk from its own resources.
#include "Kavrel.h"

namespace kavrel {

// The engine carries no patch utility, so there is nothing to write: the
// utility has to be installed where the patch command finds it, and an
// existing "patcher.exe" is never replaced (least of all by an empty file).
void TKavrel::DeployUtility() {}

}  // namespace kavrel
