// Steps whose behaviour arrives with the restart handoff. Until then the
// handoff does nothing, so a run that fetched an application component ends
// with the component waiting in its download folder.
#include "Kavrel.h"

namespace kavrel {

void TKavrel::DeployStub() {}

void TKavrel::RestartApplication() {}

}  // namespace kavrel
