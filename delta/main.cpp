// kvpatch, the patch utility: the engine and the updater stub start it as
// "patcher.exe" to apply a patch to one file, whole or not at all.
#include "PatchUtility.h"
#include "Processes.h"

int main(int argc, char** argv) {
  return kavrel::delta::RunPatchUtility(kavrel::platform::ProgramArguments(argc, argv));
}
