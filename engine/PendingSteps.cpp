// Steps whose behaviour arrives with the comparison, selection, instruction,
// text and installation stages. Until then each gives the result with which
// the run driver ends a run quietly.
#include "Kavrel.h"

namespace kavrel {

int TKavrel::ShowWhatsNew(TStrings&) { return 1; }
int TKavrel::ShowLicense(TStrings&) { return 1; }
void TKavrel::DeployStub() {}
void TKavrel::DeployUtility() {}
bool TKavrel::CompareLocalFile(std::string&, std::string&, int, int) { return false; }

int TKavrel::RunInstructions() { return 1; }
std::optional<TStrings> TKavrel::GetWhatsNew() { return std::nullopt; }
std::optional<TStrings> TKavrel::GetLicense() { return std::nullopt; }
int TKavrel::ReadFileList() { return 0; }
int TKavrel::SelectFiles() { return -1; }
int TKavrel::InstallFiles() { return 0; }
void TKavrel::RestartApplication() {}
void TKavrel::SendPostUpdateInfo() {}

}  // namespace kavrel
