#include "UpdateJournal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>

#include "Errors.h"
#include "FileDigest.h"
#include "Files.h"
#include "IniDocument.h"
#include "PathNames.h"
#include "Processes.h"
#include "StubHandoff.h"
#include "System.h"
#include "Text.h"

namespace kavrel {

namespace {

// A backup name not taken in `folder`: "KAV", a hexadecimal number tried in
// turn from a random one, ".bak".
std::string FreeBackupName(const std::string& folder) {
  std::random_device random;
  const unsigned start = random() % 0xFFFF;
  for (unsigned i = 0; i < 0xFFFF; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "KAV%X.bak", (start + i) % 0xFFFF + 1);
    const std::string path = folder + name;
    if (!platform::FileExists(path) && !platform::DirectoryExists(path)) return path;
  }
  return {};
}

std::string FolderOf(const std::string& path) {
  const std::string_view folder = platform::FolderPart(path);
  return folder.empty() ? std::string() : std::string(folder) + platform::kNativeSeparator;
}

std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t end = std::min(line.find(' ', at), line.size());
    if (end > at) {
      const std::string_view field = line.substr(at, end - at);
      fields.push_back(field == "-" ? std::string() : PercentDecode(field));
    }
    at = end + 1;
  }
  return fields;
}

bool PlacedRecord(const TJournalRecord& r) { return r.Verb == "placed" && r.Fields.size() == 2; }
bool Aside(const TJournalRecord& r) { return r.Verb == "aside" && r.Fields.size() == 2; }

}  // namespace

std::string UpdateJournalPath() {
  std::string path = InstallationLockPath();
  return path.substr(0, path.size() - 5) + ".journal";
}

std::string JournalField(std::string_view text) {
  if (text.empty()) return "-";
  return PercentEncode(text, [text](std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    return c <= 0x20 || c == 0x7F || c == '%' || (i == 0 && c == '-');
  });
}

bool TUpdateJournal::Exists() const { return platform::FileExists(path_); }

std::vector<TJournalRecord> TUpdateJournal::Records() const {
  const std::string text = platform::ReadWholeFile(path_).value_or("");
  std::vector<TJournalRecord> records;
  std::size_t at = 0;
  // Only whole lines: a record is written with its line end in one write.
  for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    std::vector<std::string> fields = SplitFields(std::string_view(text).substr(at, end - at));
    if (fields.empty()) continue;
    TJournalRecord record{fields.front(), {}};
    record.Fields.assign(fields.begin() + 1, fields.end());
    records.push_back(std::move(record));
  }
  return records;
}

std::optional<TJournalRecord> TUpdateJournal::Update() const {
  for (const TJournalRecord& r : Records())
    if (r.Verb == "begin") return r;
  return std::nullopt;
}

void TUpdateJournal::Begin(const std::string& address, const std::string& mark) {
  if (!Exists()) Record("begin", {address, mark});
}

void TUpdateJournal::Record(std::string_view verb, const std::vector<std::string>& fields) {
  std::string line(verb);
  for (const std::string& field : fields) line += " " + JournalField(field);
  line += "\n";
  int error = 0;
  auto file = platform::TFile::Open(path_, platform::TFile::Mode::AppendOwn, &error);
  if (!file) file = platform::TFile::Open(path_, platform::TFile::Mode::CreateNewPrivate, &error);
  if (!file) throw platform::EInOutError("Cannot write the update journal " + path_, error);
  file->Write(line);
  file->Sync();
  file->Close();
  // The fault suite ends the process here, as a kill would, right after the
  // record of that number: every step in turn is interrupted.
  if (const auto at = platform::GetEnvironment("KAVREL_TEST_KILL_AT_RECORD"))
    if (ParseDecimal(*at) == static_cast<std::int64_t>(Records().size())) std::_Exit(137);
}

bool TUpdateJournal::Replace(const std::string& from, const std::string& target) {
  const auto hash = FileSha256(from);
  if (!hash) return false;
  if (!platform::FileExists(target)) {
    Record("fresh", {target});
    if (!platform::ReplaceFileWith(from, target)) return false;
  } else {
    const std::string backup = FreeBackupName(FolderOf(target));
    if (backup.empty()) return false;
    Record("aside", {target, backup});
    if (!platform::MoveFileTo(target, backup)) return false;
    if (!platform::ReplaceFileWith(from, target)) {
      platform::ReplaceFileWith(backup, target);
      return false;
    }
  }
  Record("placed", {target, *hash});
  return true;
}

bool TUpdateJournal::KeepBackup(const std::string& target) {
  if (!platform::FileExists(target)) {
    Record("fresh", {target});
    return true;
  }
  const std::string backup = FreeBackupName(FolderOf(target));
  if (backup.empty()) return false;
  Record("aside", {target, backup});
  // A copy is made whole beside its name and renamed to it, so that a
  // backup that exists is always complete.
  return platform::LinkFile(target, backup) || platform::CopyFileOver(target, backup);
}

void TUpdateJournal::Placed(const std::string& target) {
  if (const auto hash = FileSha256(target)) Record("placed", {target, *hash});
}

bool TUpdateJournal::Changed() const {
  const std::vector<TJournalRecord> records = Records();
  return std::any_of(records.begin(), records.end(), [](const TJournalRecord& r) {
    return r.Verb == "aside" || r.Verb == "fresh";
  });
}

bool TUpdateJournal::Completed() const {
  const std::vector<TJournalRecord> records = Records();
  if (std::none_of(records.begin(), records.end(),
                   [](const TJournalRecord& r) { return r.Verb == "commit"; }))
    return false;
  // The last placed hash of each target is what must be there now.
  std::set<std::string> checked;
  for (auto r = records.rbegin(); r != records.rend(); ++r) {
    if (!PlacedRecord(*r) || !checked.insert(r->Fields[0]).second) continue;
    if (FileSha256(r->Fields[0]) != r->Fields[1]) return false;
  }
  return true;
}

void TUpdateJournal::Finish() {
  for (const TJournalRecord& r : Records())
    if (Aside(r)) platform::DeleteFileAt(r.Fields[1]);
  platform::DeleteFileAt(path_);
}

std::vector<std::string> TUpdateJournal::RollBack() {
  const std::vector<TJournalRecord> records = Records();
  std::vector<std::string> failed;
  for (auto r = records.rbegin(); r != records.rend(); ++r) {
    // Each step undone only where it happened, so that a rollback cut short
    // can be done again: a backup that is gone was never made or is back.
    if (Aside(*r) && platform::FileExists(r->Fields[1])) {
      // A backup linked to a target that was never replaced is that file.
      if (platform::SameFile(r->Fields[1], r->Fields[0]))
        platform::DeleteFileAt(r->Fields[1]);
      else if (!platform::ReplaceFileWith(r->Fields[1], r->Fields[0]))
        failed.push_back(r->Fields[0]);
    } else if (r->Verb == "fresh" && r->Fields.size() == 1 && platform::FileExists(r->Fields[0])) {
      if (!platform::DeleteFileAt(r->Fields[0])) failed.push_back(r->Fields[0]);
    }
  }
  // A journal of a rollback that failed stays, for the next start to try again.
  if (failed.empty()) platform::DeleteFileAt(path_);
  return failed;
}

TRecovery RecoverUpdate(TUpdateJournal& journal, std::vector<std::string>& failed,
                        std::vector<std::string>* update) {
  failed.clear();
  if (!journal.Exists()) return TRecovery::None;
  const std::vector<TJournalRecord> records = journal.Records();
  if (update != nullptr) {
    const auto begin = journal.Update();
    *update = begin ? begin->Fields : std::vector<std::string>{};
  }
  // A handoff under way: its host, or the stub it started, still runs.
  const bool committed = std::any_of(records.begin(), records.end(),
                                     [](const TJournalRecord& r) { return r.Verb == "commit"; });
  if (!committed)
    for (const TJournalRecord& r : records)
      if ((r.Verb == "handoff" || r.Verb == "stub") && !r.Fields.empty())
        if (const auto pid = ParseInt32(r.Fields[0]);
            pid && *pid > 0 && static_cast<std::uint32_t>(*pid) != platform::CurrentProcessId() &&
            platform::ProcessRunning(static_cast<std::uint32_t>(*pid)))
          return TRecovery::Busy;
  if (journal.Completed()) {
    journal.Finish();
    return TRecovery::Completed;
  }
  failed = journal.RollBack();
  return TRecovery::RolledBack;
}

namespace {

constexpr const char* kMarkSection = "RolledBack";

std::string KindOf(const std::string& mark) { return mark.substr(0, mark.find(':') + 1); }

}  // namespace

std::string RolledBackMarkPath() {
  std::string path = InstallationLockPath();
  return path.substr(0, path.size() - 5) + ".rolledback";
}

std::optional<TRolledBackUpdate> ReadRolledBackMark() {
  const auto text = platform::ReadWholeFile(RolledBackMarkPath(), 64 << 10);
  if (!text) return std::nullopt;
  const TIniDocument ini = TIniDocument::Parse(*text);
  TRolledBackUpdate update{
      ini.ReadString(kMarkSection, "address", ""), ini.ReadString(kMarkSection, "mark", ""),
      ini.ReadString(kMarkSection, "why", ""), ini.ReadString(kMarkSection, "reported", "") == "1"};
  if (update.Mark.empty()) return std::nullopt;
  return update;
}

void WriteRolledBackMark(const TRolledBackUpdate& update) {
  TIniDocument ini;
  ini.WriteString(kMarkSection, "address", update.Address);
  ini.WriteString(kMarkSection, "mark", update.Mark);
  ini.WriteString(kMarkSection, "why", update.Why);
  ini.WriteString(kMarkSection, "reported", update.Reported ? "1" : "0");
  platform::WriteFileAtomically(RolledBackMarkPath(), ini.ToText());
}

void RemoveRolledBackMark() { platform::DeleteFileAt(RolledBackMarkPath()); }

bool NewerUpdate(const std::string& mark, const std::string& than) {
  if (KindOf(mark) != KindOf(than) || KindOf(mark).empty()) return true;
  const auto a = ParseDecimal(mark.substr(KindOf(mark).size()));
  const auto b = ParseDecimal(than.substr(KindOf(than).size()));
  return !a || !b || *a > *b;
}

std::string StartConfirmationPath() {
  std::string path = InstallationLockPath();
  return path.substr(0, path.size() - 5) + ".confirmed";
}

void ConfirmStart() { platform::WriteFileAtomically(StartConfirmationPath(), "confirmed\n"); }

}  // namespace kavrel
