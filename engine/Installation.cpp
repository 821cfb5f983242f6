// Installation: each selected file is confirmed, fetched into its download
// folder and put in place by one of its treatments: moved into its target
// folder, expanded from the LZ format, extracted from a cabinet or given to
// the patch utility. An application component stays where it was fetched,
// for the updater stub to complete once the application has closed.
#include <algorithm>

#include "Errors.h"
#include "Files.h"
#include "Kavrel.h"
#include "LzExpand.h"
#include "PatchCommand.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "Processes.h"
#include "Text.h"
#include "UpdateLog.h"
#include "UserInterface.h"
#include "cabfdi.h"

namespace kavrel {

namespace {

// The extension of a name in upper case: the text from its last dot.
std::string UpperExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : UpperCase(name.substr(dot));
}

}  // namespace

int TKavrel::InstallFiles() {
  TransferDeclined = false;
  TKavrelUpdate mode = UpdateUpdate;
  int result = 0;
  for (std::size_t i = 0; i < FileList.Count(); ++i) {
    // A copy: a handler raised below may change the list.
    const TFileDescription entry = FileList[i];
    const TTransferDecision decision = ConfirmTransfer(mode, entry);
    if (decision == TTransferDecision::Stop) {
      TransferDeclined = true;
      return result;
    }
    if (decision == TTransferDecision::Skip) continue;

    std::string url = entry.URL;
    const std::string name = FileNameFromURL(url);
    FileList.ActiveIndex = static_cast<int>(i);
    if (OnBeforeFileDownload)
      OnBeforeFileDownload(*this, static_cast<int>(i) + 1, entry.Description, url);
    if (!entry.TargetDir.empty() && !DirExists(entry.TargetDir)) ForceFolder(entry.TargetDir);
    const auto failed = [&] {
      result = -1;
      ReportStatus(946, url, 2, 0);
      AppUpdate = false;
    };
    // An LZ file is fetched into a folder of its own and expanded from there:
    // fetched into its target folder, it would take the place of the very
    // file it expands to, and a damaged one would lose it.
    const bool expandsLz = ExtractCAB && entry.Compressed && UpperExtension(name) != ".CAB" &&
                           PosNoCase(name, AppComps) == 0;
    const std::optional<platform::TTemporaryFolder> lzFolder =
        expandsLz ? platform::TTemporaryFolder::Create(GetTempDir(), "KAVR") : std::nullopt;
    if (expandsLz && !lzFolder) {
      failed();
      continue;
    }
    const std::string folder = lzFolder        ? AddBackslash(lzFolder->Path())
                               : UseWinTempDir ? GetTempDir()
                                               : entry.TargetDir;
    // In a signed run an entry is fetched only with the hash and size it was
    // signed with, and what arrives is checked against them before it
    // replaces, expands, patches or is left for the updater stub.
    std::optional<TSignedContent> expected;
    if (SignedRun()) {
      std::string why;
      expected = ParseSignedContent(entry.Sha256, entry.SignedSize, 0, "the entry of " + url, why);
      if (!expected) {
        ReportUnsigned(url, why);
        failed();
        continue;
      }
      ExpectedContent = expected;
    }
    // Fetched straight into its target folder, a file replaces the installed
    // one as it arrives: that one is kept as a backup first. Cabinets and
    // patches are what installs files, not installed files themselves.
    const bool straight = !lzFolder && !UseWinTempDir && !name.empty() && name != "." &&
                          name != ".." && !platform::ContainsSeparator(name) &&
                          PosNoCase(name, AppComps) == 0 && UpperExtension(name) != ".CAB" &&
                          UpperExtension(name) != ".PAT";
    if (straight && !KeepJournalledBackup(folder + name)) {
      result = -1;
      ReportStatus(973, folder + name + ": no backup can be kept beside it", 19, 7);
      AppUpdate = false;
      continue;
    }
    if (!DownloadFile(ConnectHandle, url, folder)) {
      failed();
      continue;
    }
    if (straight) JournalPlaced(folder + name);
    // A name the handler's location had to supply, or none at all: there is
    // no file of the entry's own name to treat.
    if (name.empty() || name == "." || name == ".." || platform::ContainsSeparator(name)) continue;
    const std::string fetched = folder + name;
    if (expected) VerifiedFiles[name] = expected->Sha256;
    if (PosNoCase(name, AppComps) > 0) {
      AppComponentUpdated = true;
      ReportStatus(962, name, 0, 0);
      continue;
    }
    const std::string extension = UpperExtension(name);
    const bool cabinet = extension == ".CAB";
    const bool patch = extension == ".PAT";

    if (expandsLz) {
      ExpandFetched(fetched, entry.TargetDir, name, result);
      continue;
    }
    if (!cabinet && !patch && !entry.TargetDir.empty()) {
      // Renamed over the old file, never deleted first: when it cannot be
      // replaced the old file stays and the new one waits where it was
      // fetched, and the failure is reported, so that the run does not finish
      // as if the file had been updated.
      const std::string target = AddBackslash(entry.TargetDir) + name;
      if (!platform::SameFile(target, fetched)) {
        platform::ShareLike(fetched, target);
        if (!PlaceJournalled(fetched, target)) {
          result = -1;
          ReportStatus(973, fetched + " to " + target, 19, 7);
        }
      }
    }
    if (cabinet && ExtractCAB && entry.Compressed) {
      // A cabinet that could not be extracted leaves its files old: the run
      // is not reported as finished (986), so that the next one tries again.
      if (ExtractCabinet(fetched, entry.TargetDir, nullptr, JournalPlacer()) == -1) {
        result = -1;
        ReportStatus(947, fetched, 8, 0);
      } else if (!KeepIntermediateFiles)
        platform::DeleteFileAt(fetched);
    }
    if (patch && ApplyPatch && !entry.LocalVersion.empty() && !ApplyFetchedPatch(fetched, entry)) {
      // The patch stays for a later run, the old file as it was. A full file
      // named as its fallback is fetched in its place, next.
      const auto fallback = std::find_if(
          FallbackFiles.begin(), FallbackFiles.end(),
          [&entry](const TFileDescription& other) { return other.Number == entry.Fallback; });
      if (entry.Fallback != 0 && fallback != FallbackFiles.end()) {
        FileList.Insert(i + 1, *fallback);
        FallbackFiles.erase(fallback);
      } else {
        result = -1;
        AppUpdate = false;
      }
    }
  }
  return result;
}

// Expands an LZ file fetched into a folder of its own into its entry's
// target folder (the current one when it names none), replacing the target
// whole or not at all; the fetched file goes either way. One that turns out
// not to be compressed is put where a plain file of the entry would go.
void TKavrel::ExpandFetched(const std::string& Fetched, const std::string& TargetDir,
                            const std::string& Name, int& Result) {
  if (!ExpandedLZName(Fetched)) {
    const std::string target = TargetDir + Name;
    platform::ShareLike(Fetched, target);
    if (!PlaceJournalled(Fetched, target)) {
      Result = -1;
      ReportStatus(973, Fetched + " to " + target, 19, 7);
      platform::DeleteFileAt(Fetched);
    }
    return;
  }
  const auto expanded = ExpandLZ(Fetched, TargetDir, JournalPlacer());
  platform::DeleteFileAt(Fetched);
  if (!expanded) {
    Result = -1;
    ReportStatus(984, TargetDir + Name, 8, 0);
  }
}

// The utility is ours where the run deploys it, else one the publisher
// installed (the program's folder first, then the current one, then the
// system's search). It gets the patch where it was fetched and the file to
// patch as found, the case of its name aside; its exit status says whether
// the file is the new version now.
bool TKavrel::ApplyFetchedPatch(const std::string& Fetched, const TFileDescription& Entry) {
  std::string utility;
  if (Utility() != nullptr) {
    if (!platform::FileExists(UtilityTarget())) DeployUtility();
    if (platform::FileExists(UtilityTarget()))
      utility = FindPatchUtility({std::string(platform::FolderPart(UtilityTarget()))});
  }
  if (utility.empty())
    utility = FindPatchUtility({platform::ProgramFolder(), platform::GetCurrentDir()});
  bool showWindow = true, showAnimation = false;
  std::string caption, message;
  if (const TKavrelUtility* options = Utility()) {
    showWindow = options->ShowWindow;
    showAnimation = options->ShowAnimation;
    caption = options->StatusCaption;
    message = options->StatusMessage;
  }
  const std::string target =
      platform::ExistingIgnoringCase(Entry.LocalVersion).value_or(Entry.LocalVersion);
  const std::string command = PatchCommandLine(
      utility, Fetched, target, Logging ? LogFilePath(CurrentLogName()) : std::string());
  // The utility changes the file where it stands: a backup is kept first.
  if (!KeepJournalledBackup(target)) {
    ReportStatus(987, Fetched + " to " + target + ": no backup could be kept", 8, 0);
    return false;
  }
  if (ExecuteAndWait(command, showWindow, showAnimation, caption, message)) {
    JournalPlaced(target);
    if (!KeepIntermediateFiles) platform::DeleteFileAt(Fetched);
    return true;
  }
  const int error = platform::GetLastError();
  ReportStatus(987, Fetched + " to " + target, 8, error > 0x2000 ? error - 0x2000 : error);
  return false;
}

bool TKavrel::ExecuteAndWait(const std::string& CommandLine, bool ShowWindow, bool ShowAnimation,
                             const std::string& Caption, const std::string& Message) {
  ReportStatus(18, "Exec: " + CommandLine, 3, 0);
  std::unique_ptr<platform::IAnimationWindow> animation;
  if (ShowAnimation) animation = platform::UserInterface().ShowAnimation(Caption, Message);
  std::function<void()> waiting;
  if (animation) waiting = [&animation] { animation->Advance(); };
  const std::optional<int> exitCode = platform::RunAndWait(CommandLine, ShowWindow, waiting);
  if (!exitCode) return false;
  if (*exitCode != 0) {
    platform::SetLastError(*exitCode + 0x2000);
    return false;
  }
  return true;
}

}  // namespace kavrel
