#include "Completion.h"

#include <chrono>
#include <optional>

#include "Errors.h"
#include "Files.h"
#include "Processes.h"
#include "Ulog.h"

namespace kavrel::stub {

namespace {

using std::chrono::steady_clock;

void Log(bool logging, const std::string& message) {
  if (logging) WriteLog(message);
}

// The application is one program path, never split at its blanks; its
// parameters reach it as one argument.
std::vector<std::string> Arguments(const TRestart& restart) {
  return restart.Parameters == " " ? std::vector<std::string>{}
                                   : std::vector<std::string>{restart.Parameters};
}

// A program that came new with the update has no permission to run yet.
void Restart(const TRestart& restart, bool logging) {
  if (restart.Application == "null") return;
  Log(logging, "Upd restart " + restart.Application + " " + restart.Parameters);
  if (platform::FileExists(restart.Application)) platform::MakeExecutable(restart.Application);
  // With the user's own rights, never with the stub's raised ones.
  if (!platform::StartDetachedAsUser(restart.Application, Arguments(restart)))
    Log(logging, "Upd restart failed: " + restart.Application);
}

// Why the started application fails its health check; empty when it passes:
// it runs on (or ended well) through the grace period, and, where asked,
// confirmed its start within it.
std::string Watch(platform::TWatchedProgram& program, const TRestart& restart) {
  using TState = platform::TWatchedProgram::TState;
  const std::string within = " within " + std::to_string(restart.HealthSeconds) + " s";
  const auto until = steady_clock::now() + std::chrono::seconds(restart.HealthSeconds);
  const auto confirmed = [] { return platform::FileExists(StartConfirmationPath()); };
  while (true) {
    if (restart.Confirm && confirmed()) return {};
    const auto left = until - steady_clock::now();
    if (left <= steady_clock::duration::zero())
      return restart.Confirm ? "the new version did not confirm its start" + within : "";
    const TState state = program.Wait(std::min<std::chrono::milliseconds>(
        std::chrono::duration_cast<std::chrono::milliseconds>(left),
        std::chrono::milliseconds(100)));
    if (state == TState::Failed) return "the new version ended with " + program.How() + within;
    if (state == TState::Succeeded && restart.Confirm && !confirmed())
      return "the new version ended without confirming its start" + within;
    if (state == TState::Succeeded) return {};
  }
}

void Complete(TUpdateJournal& journal) {
  journal.Record("commit");
  journal.Finish();
  RemoveRolledBackMark();
}

// Puts every journalled file back; false, logged, where some could not be.
bool RollBack(TUpdateJournal& journal, const std::string& why, bool logging) {
  const std::vector<std::string> failed = journal.RollBack();
  Log(logging, "Upd update rolled back : " + why);
  for (const std::string& target : failed) Log(logging, "Upd not put back : " + target);
  return failed.empty();
}

}  // namespace

void EndUpdate(TUpdateJournal& journal, const std::string& failure, const TRestart& restart,
               bool logging) {
  if (!failure.empty()) {
    RollBack(journal, failure, logging);
    return Restart(restart, logging);
  }
  // A handoff that changed nothing (the launcher hands over after a run with
  // no file to update) has nothing to check and nothing to undo.
  if (restart.Application == "null" || restart.HealthSeconds <= 0 || !journal.Changed()) {
    if (journal.Exists()) Complete(journal);
    return Restart(restart, logging);
  }
  Log(logging, "Upd restart " + restart.Application + " " + restart.Parameters + " (watched for " +
                   std::to_string(restart.HealthSeconds) + " s)");
  // A confirmation left from an earlier start never speaks for this one.
  platform::DeleteFileAt(StartConfirmationPath());
  if (platform::FileExists(restart.Application)) platform::MakeExecutable(restart.Application);
  std::optional<platform::TWatchedProgram> program =
      platform::TWatchedProgram::Start(restart.Application, Arguments(restart));
  const std::string why = program ? Watch(*program, restart) : "the new version did not start";
  platform::DeleteFileAt(StartConfirmationPath());
  if (why.empty()) {
    Complete(journal);
    Log(logging, "Upd update completed");
    return;
  }
  // The new version goes before its files do: a running program's file
  // cannot be replaced everywhere.
  if (program) program->Stop();
  const std::optional<TJournalRecord> update = journal.Update();
  if (RollBack(journal, why, logging) && update && update->Fields.size() == 2) {
    try {
      WriteRolledBackMark({update->Fields[0], update->Fields[1], why});
    } catch (const platform::EInOutError&) {
      Log(logging, "Upd the rollback could not be marked");
    }
  }
  Restart(restart, logging);
}

}  // namespace kavrel::stub
