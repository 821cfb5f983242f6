// Programs the engine writes to disk from its own resources.
#include "Errors.h"
#include "Files.h"
#include "Kavrel.h"
#include "LzExpand.h"
#include "PathHelpers.h"
#include "StubHandoff.h"
#include "StubResource.h"

namespace kavrel {

// The updater stub, carried in the LZ format, is written as "kvsetup.ex_" and
// expanded to "kvsetup.exe" in the temporary folder. Only a stub written just
// now may be started, so anything short of a complete, runnable new copy is
// raised to the caller.
void TKavrel::DeployStub() {
  const std::string compressed = GetTempDir() + kStubCompressedName;
  const std::string program = GetTempDir() + kStubProgramName;
  int error = 0;
  // Created anew, never opened through what is there: in a temporary folder
  // another could have left a link of that name.
  platform::DeleteFileAt(compressed);
  auto file = platform::TFile::Open(compressed, platform::TFile::Mode::CreateNewPrivate, &error);
  if (!file)
    throw platform::EInOutError(
        "Cannot create " + compressed + ": " + platform::SystemErrorText(error), error);
  try {
    const std::string_view packed = resources::StubResource();
    if (packed.empty())
      throw platform::EInOutError("The program carries no updater",
                                  platform::ErrorNumber(platform::TErrorKind::InOut));
    file->Write(packed);
    file->Close();
  } catch (...) {
    platform::DeleteFileAt(compressed);
    throw;
  }
  const auto expanded = ExpandLZ(compressed);
  platform::DeleteFileAt(compressed);
  if (!expanded || !platform::SameFile(*expanded, program) || !platform::MakeExecutable(program))
    throw platform::EInOutError("Cannot write the updater " + program,
                                platform::ErrorNumber(platform::TErrorKind::InOut));
}

// The engine carries no patch utility, so there is nothing to write: the
// utility has to be installed where the patch command finds it, and an
// existing "patcher.exe" is never replaced (least of all by an empty file).
void TKavrel::DeployUtility() {}

}  // namespace kavrel
