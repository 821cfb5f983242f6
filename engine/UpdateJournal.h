// The journal of an update under way: every installed file an update
// replaces, from the first one (by the engine or by the updater stub) to the
// update's end, is renamed aside to a "KAV….bak" backup in its own folder and
// recorded in one journal file of the installation, in this user's private
// temporary folder. Each record is on the device before the step it announces,
// so that after a kill the next run or stub can put back every file as it was
// (rollback) or, once every step was done, drop the backups (completion).
//
// Records, one a line, fields separated by blanks and percent-escaped:
//   begin ADDRESS MARK     the update: its control file and "sequence" or date
//   aside TARGET BACKUP    TARGET is about to go to BACKUP
//   fresh TARGET           TARGET had no file: a rollback removes it
//   placed TARGET SHA256   the new TARGET is in place
//   handoff PID            the rest goes to the stub; PID is the host's
//   stub PID               the stub of the handoff has started
//   commit                 every step is done
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

// The journal of the installation in the current folder, beside its lock.
std::string UpdateJournalPath();

// One record as read back.
struct TJournalRecord {
  std::string Verb;
  std::vector<std::string> Fields;
};

class TUpdateJournal {
 public:
  explicit TUpdateJournal(std::string path) : path_(std::move(path)) {}

  bool Exists() const;
  // The records as written; a last line cut short by a kill is left out.
  std::vector<TJournalRecord> Records() const;
  // The update a journal names: its "begin" record's fields.
  std::optional<TJournalRecord> Update() const;

  // Starts the journal with its "begin" record unless one is under way.
  // Raises EInOutError when it cannot be written.
  void Begin(const std::string& address, const std::string& mark);
  // Writes one record and flushes it to the device; raises EInOutError.
  void Record(std::string_view verb, const std::vector<std::string>& fields = {});

  // Puts `from` in the place of `target` as one journalled step: the old
  // target renamed aside to its backup, then `from` renamed into its place.
  // False when it cannot be done; the old target is then back in place.
  // Raises EInOutError when the journal cannot be written (nothing is done).
  bool Replace(const std::string& from, const std::string& target);
  // Keeps a backup of `target` before a program changes it where it stands
  // (a patch): a hard link, or a whole copy where no link can be made. False
  // when neither can be made. A target that does not exist yet is recorded
  // as fresh, for a rollback to remove.
  bool KeepBackup(const std::string& target);
  // Records `target` as placed, with its hash, after such a change.
  void Placed(const std::string& target);

  // Whether the update changed an installed file (a file set aside or new).
  bool Changed() const;
  // True when the journal records every step done and every placed file
  // still holds what was placed.
  bool Completed() const;
  // Removes the backups, then the journal: the update stays.
  void Finish();
  // Undoes every step in reverse order (each backup renamed back over its
  // target, each fresh target removed), then removes the journal. The
  // targets that could not be put back; none when the installation is whole.
  std::vector<std::string> RollBack();

 private:
  std::string path_;
};

// How a journal left at a start is dealt with.
enum class TRecovery { None, Completed, RolledBack, Busy };

// What a run or stub does first: a journal of an unfinished update is
// completed when it records every step done and its files are whole, else
// rolled back. A journal whose handoff is still under way (the host or its
// stub still running) is left alone: Busy. `failed` receives the targets a
// rollback could not put back; `update` the journal's "begin" fields.
TRecovery RecoverUpdate(TUpdateJournal& journal, std::vector<std::string>& failed,
                        std::vector<std::string>* update = nullptr);

// Percent-escapes a journal field: "%", blanks, control characters.
std::string JournalField(std::string_view text);

}  // namespace kavrel

namespace kavrel {

// What a rollback after a failed start of the new version leaves for the
// next run: the update it undid and why. That run reports it, and no run
// applies that update again until a newer one is published.
struct TRolledBackUpdate {
  std::string Address;
  std::string Mark;  // "sequence:N" or "date:MILLISECONDS"
  std::string Why;
  bool Reported = false;
};

std::string RolledBackMarkPath();
std::optional<TRolledBackUpdate> ReadRolledBackMark();
// Raises EInOutError when it cannot be written.
void WriteRolledBackMark(const TRolledBackUpdate& update);
void RemoveRolledBackMark();
// Whether the update `mark` is newer than the rolled-back `than`: a higher
// sequence or a later date; a mark of another kind counts as newer.
bool NewerUpdate(const std::string& mark, const std::string& than);

}  // namespace kavrel

namespace kavrel {

// The file by which a restarted application confirms that it has started
// well (`kavrel confirm`), beside the installation's lock.
std::string StartConfirmationPath();
// Writes it; raises EInOutError when it cannot.
void ConfirmStart();

}  // namespace kavrel
