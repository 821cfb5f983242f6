// The file list of an update: reading it from the control file, keeping only
// what this machine needs, and asking before each transfer.
#include <algorithm>
#include <set>

#include "ControlFile.h"
#include "Files.h"
#include "Kavrel.h"
#include "PathHelpers.h"
#include "StatusMessages.h"
#include "UserInterface.h"

namespace kavrel {

namespace {

constexpr int kMaxFileEntries = 10000;

}  // namespace

int TKavrel::ReadFileList() {
  FileList.Clear();
  const TControlFile control(ControlFileName);
  const int count = control.ReadInteger("files", "count", 0);
  if (count > 0) {
    ReportStatus(943, "", 3, 0);
    // Every number up to the count gives an entry, also without a section, so
    // an absurd count would exhaust memory; no real update has this many files.
    const int entries = std::min(count, kMaxFileEntries);
    for (int n = 1; n <= entries; ++n) {
      const std::string section = "file" + std::to_string(n);
      TFileDescription& entry = FileList.Add();
      entry.URL = control.ReadPath(*this, section, "url");
      entry.LocalVersion = control.ReadPath(*this, section, "localversion");
      entry.NewVersion = control.ReadText(section, "newversion");
      entry.NewSize = control.ReadInteger(section, "newsize", 0);
      entry.NewCheckSum = control.ReadInteger(section, "newchecksum", -1);
      entry.NewCustomVer = control.ReadText(section, "customversion");
      entry.NewDate = control.ReadText(section, "date");
      entry.NewTime = control.ReadText(section, "time");
      entry.Description = control.ReadText(section, "descr");
      entry.TargetDir = AddBackslash(control.ReadPath(*this, section, "targetdir"));
      entry.Compressed = control.ReadFlag(section, "compressed", false);
      entry.FileSize = control.ReadInteger(section, "filesize", 0);
      entry.Mandatory = control.ReadFlag(section, "mandatory", false);
      entry.Preselect = control.ReadFlag(section, "preselect", true);
      entry.Hidden = control.ReadFlag(section, "hidden", false);
      entry.Sha256 = control.ReadText(section, "sha256");
      entry.SignedSize = control.ReadText(section, "size");
      entry.Number = n;
      entry.Fallback = control.ReadInteger(section, "fallback", 0);
    }
  }
  return count;
}

int TKavrel::SelectFiles() {
  SetAsideFallbacks();
  std::size_t i = 0;
  while (i < FileList.Count()) {
    const TFileDescription& entry = FileList[i];
    std::string newVersion = entry.NewVersion;
    std::string localVersion = entry.LocalVersion;
    ReportStatus(971, entry.DisplayLine(), 0, 0);
    bool keep = true;
    if (!entry.LocalVersion.empty() && !entry.NewDate.empty()) {
      const TDateTime date = ParseControlDateTime(entry.NewDate, entry.NewTime);
      if (platform::FileExists(entry.LocalVersion)) {
        const auto written = platform::LastWriteTime(entry.LocalVersion);
        keep = !(written && *written >= date);
      }
    } else if (!CompareLocalFile(newVersion, localVersion, entry.NewSize, entry.NewCheckSum)) {
      ReportStatus(930, "", 0, 0);
      keep = false;
    } else if (OnFileVersionCheck && !entry.NewCustomVer.empty()) {
      bool isNew = true;
      OnFileVersionCheck(*this, entry.NewCustomVer, localVersion, isNew);
      keep = isNew;
    }
    if (keep)
      ++i;
    else
      FileList.Delete(i);
  }

  if (OnGetFileList) {
    TStrings lines;
    for (std::size_t k = 0; k < FileList.Count(); ++k) lines.push_back(FileList[k].Description);
    OnGetFileList(*this, lines);
    // Walk entries and lines together; an entry the handler left no line for
    // keeps the line it was shown (its description), so a missing line is
    // never read and an entry without a description still goes.
    std::size_t entry = 0;
    for (std::size_t line = 0; entry < FileList.Count(); ++line) {
      const std::string& text = line < lines.size() ? lines[line] : FileList[entry].Description;
      if (text.empty())
        FileList.Delete(entry);
      else
        ++entry;
    }
  }
  return FileList.Count() == 0 ? -1 : 0;
}

TKavrel::TTransferDecision TKavrel::ConfirmTransfer(TKavrelUpdate& Mode,
                                                    const TFileDescription& Entry) {
  using platform::TModalResult;
  auto ask = [](const std::string& text) {
    return platform::UserInterface().MessageBox(text, "Confirm", platform::TMsgKind::Confirmation,
                                                platform::TMsgButtons::YesNo) == TModalResult::Yes;
  };
  switch (Mode) {
    case kvuSilent:
      return TTransferDecision::Transfer;
    case kvuPromptAll:
      return ask(std::string(StatusMessageText(909)) + FileNameFromURL(Entry.URL))
                 ? TTransferDecision::Transfer
                 : TTransferDecision::Skip;
    case kvuPromptOnce:
      if (!ask(std::string(StatusMessageText(910)))) return TTransferDecision::Stop;
      Mode = kvuSilent;  // asked once for all files
      return TTransferDecision::Transfer;
  }
  return TTransferDecision::Transfer;
}

// An entry a patch names as its fallback is fetched only when that patch
// fails: it leaves the list, and waits apart until then.
// A machine that applies no patches fetches the whole file instead: its
// patch entry leaves the list, and the fallback stays in it.
void TKavrel::SetAsideFallbacks() {
  FallbackFiles.clear();
  std::set<int> named;
  for (std::size_t k = 0; k < FileList.Count();) {
    const TFileDescription& entry = FileList[k];
    if (entry.Fallback != 0 && entry.Fallback != entry.Number && !ApplyPatch) {
      FileList.Delete(k);
      continue;
    }
    if (entry.Fallback != 0 && entry.Fallback != entry.Number) named.insert(entry.Fallback);
    ++k;
  }
  for (std::size_t k = 0; k < FileList.Count();) {
    if (named.count(FileList[k].Number) != 0) {
      FallbackFiles.push_back(FileList[k]);
      FileList.Delete(k);
    } else {
      ++k;
    }
  }
}

}  // namespace kavrel
