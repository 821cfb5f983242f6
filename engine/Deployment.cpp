// Programs the engine writes to disk from its own resources.
#include "Errors.h"
#include "Files.h"
#include "Kavrel.h"
#include "LzExpand.h"
#include "PatchCommand.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "StubHandoff.h"
#include "StubResource.h"
#include "UtilityResource.h"

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

std::string TKavrel::UtilityTarget() const {
  return (UseWinTempDir ? GetTempDir() : AddBackslash(platform::GetCurrentDir())) +
         kPatchUtilityName;
}

// The patch utility is written as it is carried, whole or not at all: under a
// temporary name beside its place, then renamed. A "patcher.exe" there that
// is not ours is the publisher's own and stays; a program that carries no
// utility writes nothing.
void TKavrel::DeployUtility() {
  const std::string_view utility = resources::UtilityResource();
  if (utility.empty()) return;
  const std::string target = UtilityTarget();
  if (platform::FileExists(target)) {
    // Ours is a few megabytes at most; anything far larger is not.
    const auto present = platform::ReadWholeFile(target, 64 << 20);
    if (present && *present == utility) {
      platform::MakeExecutable(target);
      return;
    }
    if (!present || present->find(resources::kUtilityMark) == std::string::npos) return;
  }
  platform::WriteFileAtomically(target, utility);
  if (!platform::MakeExecutable(target))
    throw platform::EInOutError("Cannot make the patch utility runnable: " + target,
                                platform::GetLastError());
}

}  // namespace kavrel
