// The update as one transaction: from the first installed file the run
// replaces to the end of the update (the run's, or the updater stub's after a
// handoff), every replaced file is kept aside and journalled, so that a
// failure anywhere puts every file back as it was, and a run finds the
// installation whole before it does anything new.
#include "ControlFile.h"
#include "Errors.h"
#include "Kavrel.h"
#include "PlaceFile.h"
#include "Processes.h"
#include "Text.h"
#include "UpdateJournal.h"

namespace kavrel {

std::string TKavrel::UpdateMark() {
  const TControlFile control(ControlFileName);
  const std::string sequence = control.ReadText("update", "sequence");
  if (ParseDecimal(sequence)) return "sequence:" + sequence;
  const std::string date = control.ReadText("update", "date");
  const TDateTime when = date.empty()
                             ? DefaultControlDate()
                             : ParseControlDateTime(date, control.ReadText("update", "time"));
  return "date:" + std::to_string(when.time_since_epoch().count());
}

bool TKavrel::JournalledStep(const std::function<bool(TUpdateJournal&)>& Step) {
  // A journal that cannot be written is a failed step like any other: it
  // ends in a rollback, not in a file replaced without a way back.
  try {
    TUpdateJournal journal(UpdateJournalPath());
    if (!JournalStarted) journal.Begin(ControlFileAddress, UpdateMark());
    JournalStarted = true;
    return Step(journal);
  } catch (const platform::EInOutError& e) {
    ReportStatus(976, e.what(), 1, e.ErrorCode);
    return false;
  }
}

bool TKavrel::PlaceJournalled(const std::string& From, const std::string& Target) {
  return JournalledStep([&](TUpdateJournal& journal) { return journal.Replace(From, Target); });
}

TPlaceFile TKavrel::JournalPlacer() {
  return
      [this](const std::string& from, const std::string& to) { return PlaceJournalled(from, to); };
}

bool TKavrel::KeepJournalledBackup(const std::string& Target) {
  return JournalledStep([&](TUpdateJournal& journal) { return journal.KeepBackup(Target); });
}

void TKavrel::JournalPlaced(const std::string& Target) {
  TUpdateJournal(UpdateJournalPath()).Placed(Target);
}

void TKavrel::JournalHandoff() {
  TUpdateJournal journal(UpdateJournalPath());
  // The stub's own steps belong to the same update, also when the run itself
  // replaced nothing.
  journal.Begin(ControlFileAddress, UpdateMark());
  JournalStarted = true;
  journal.Record("handoff", {std::to_string(platform::CurrentProcessId())});
}

void TKavrel::EndTransaction(bool Succeeded) {
  if (!JournalStarted || StubStarted) return;
  JournalStarted = false;
  TUpdateJournal journal(UpdateJournalPath());
  if (Succeeded) {
    journal.Record("commit");
    journal.Finish();
    RemoveRolledBackMark();
    return;
  }
  const std::vector<std::string> failed = journal.RollBack();
  ReportStatus(988,
               failed.empty() ? ControlFileAddress + ": every file is as it was"
                              : ControlFileAddress + ": not put back: " + failed.front(),
               1, 0);
}

bool TKavrel::RecoverInstallation() {
  TUpdateJournal journal(UpdateJournalPath());
  std::vector<std::string> failed, update;
  const TRecovery recovery = RecoverUpdate(journal, failed, &update);
  const std::string address = update.empty() ? std::string() : update[0];
  switch (recovery) {
    case TRecovery::None:
      break;
    case TRecovery::Busy:
      ReportStatus(976, kAnotherRunText, 1, 0);
      return false;
    case TRecovery::Completed:
      ReportStatus(989, address, 3, 0);
      break;
    case TRecovery::RolledBack:
      if (!failed.empty()) {
        ReportStatus(988, address + ": not put back: " + failed.front(), 1, 0);
        return false;
      }
      ReportStatus(988, address + ": an unfinished update was undone", 1, 0);
      break;
  }
  // A rollback after a failed start is told once, by the next run.
  if (auto mark = ReadRolledBackMark(); mark && !mark->Reported) {
    ReportStatus(988, mark->Address + ": " + mark->Why, 1, 0);
    mark->Reported = true;
    try {
      WriteRolledBackMark(*mark);
    } catch (const platform::EInOutError&) {
      // Told again next time.
    }
  }
  return true;
}

bool TKavrel::UpdateNotRolledBack() {
  const auto mark = ReadRolledBackMark();
  if (!mark || mark->Address != ControlFileAddress || NewerUpdate(UpdateMark(), mark->Mark))
    return true;
  ReportStatus(990, ControlFileAddress, 3, 0);
  return false;
}

}  // namespace kavrel
