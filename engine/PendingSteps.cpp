// Steps whose behaviour arrives with the comparison, selection, instruction,
// text and installation stages. Until then each gives the result with which
// the run driver ends a run quietly.
#include "Kavrel.h"

namespace kavrel {

void TKavrel::DeployStub() {}
void TKavrel::DeployUtility() {}

int TKavrel::InstallFiles() { return 0; }
void TKavrel::RestartApplication() {}

}  // namespace kavrel
