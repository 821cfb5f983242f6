#include "StubMain.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

#include "Completion.h"
#include "Errors.h"
#include "Files.h"
#include "IniDocument.h"
#include "PathHelpers.h"
#include "ProcessFile.h"
#include "Processes.h"
#include "StubHandoff.h"
#include "System.h"
#include "Text.h"
#include "Ulog.h"
#include "UpdateJournal.h"
#include "UpdateLog.h"

namespace kavrel::stub {

namespace {

// What the engine left in the hand-off file, which goes once read: the log
// name and, after a signed run, the files it verified.
TIniDocument TakeHandOff() {
  const std::string path = HandOffFilePath();
  const auto text = platform::ReadWholeFile(path);
  if (!text) return {};
  platform::DeleteFileAt(path);
  return TIniDocument::Parse(*text);
}

// How long the stub waits for another update of the installation to end:
// two minutes, or KAVREL_LOCK_WAIT_SECONDS.
std::chrono::milliseconds LockWait() {
  const auto seconds =
      ParseDecimal(platform::GetEnvironment("KAVREL_LOCK_WAIT_SECONDS").value_or(""));
  return std::chrono::seconds(seconds.value_or(120));
}

// A decimal whole number, optionally signed, in the 32-bit range.
std::optional<std::int32_t> DecimalNumber(const std::string& text) {
  const std::size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos)
    return std::nullopt;
  return ParseInt32(text);
}

// The health check's grace period: whole seconds up to an hour; anything
// else is none.
int HealthSeconds(const std::string& text) {
  const auto seconds = ParseDecimal(text);
  return seconds && *seconds <= 3600 ? static_cast<int>(*seconds) : 0;
}

}  // namespace

int RunStub(const std::string& commandLine) {
  const std::vector<std::string> args = SplitStubArguments(commandLine);
  const auto arg = [&args](std::size_t n) {
    return n <= args.size() ? args[n - 1] : std::string();
  };
  const auto launcher = DecimalNumber(arg(1));
  if (!launcher) return 1;
  // The update the run handed over goes on in its journal. Told there before
  // the wait, so that a run started meanwhile leaves it alone.
  TUpdateJournal journal(UpdateJournalPath());
  const std::vector<TJournalRecord> records = journal.Records();
  const bool handedOver = !records.empty() && records.back().Verb == "handoff";
  if (handedOver) {
    try {
      journal.Record("stub", {std::to_string(platform::CurrentProcessId())});
    } catch (const platform::EInOutError&) {
      // Then a run started meanwhile may take it for unfinished and undo it.
    }
  }
  // Nothing is touched before the launcher has ended and let go of its files.
  if (*launcher > 0) platform::WaitForProcessEnd(static_cast<std::uint32_t>(*launcher));
  // No run updates the installation while the stub works, and a second stub
  // waits for this one; the lock goes before the application starts again.
  // Without a temporary folder to lock in, the work goes on unguarded.
  // A lock held for longer than any update takes (by another user in a shared
  // temporary folder, say) ends the stub instead of holding it for ever.
  int lockError = 0;
  std::optional<platform::TFileLock> lock =
      platform::TFileLock::TakeWithin(InstallationLockPath(), LockWait(), &lockError);
  const TIniDocument handOff = TakeHandOff();
  // With raised rights no path comes from a file the user can write: the log
  // goes to its default place.
  const bool elevated = platform::RunsElevated();
  SetLogPath(
      LogFilePath(elevated ? kDefaultLogName
                           : handOff.ReadString(kHandOffSection, kHandOffLogKey, kDefaultLogName)));
  const bool logging = arg(2) == "L";
  if (std::any_of(args.begin(), args.end(),
                  [](const std::string& a) { return HoldsControlCharacter(a); })) {
    if (logging) WriteLog("Upd an argument holds a control character; nothing done");
    return 1;
  }
  if (!lock && platform::IsErrorKind(lockError, platform::TErrorKind::WouldBlock)) {
    if (logging) WriteLog("Upd the installation stays locked by another update; nothing done");
    return 1;
  }
  Pause();

  const std::string installation = AddBackslash(platform::GetCurrentDir());
  const auto Log = [logging](const std::string& message) {
    if (logging) WriteLog(message);
  };
  if (logging) {
    WriteLog(kStubVersionLine);
    WriteLog("Upd cur dir : " + platform::GetCurrentDir());
  }
  // What an earlier update left unfinished is completed or undone before
  // anything new is done.
  if (!handedOver) {
    std::vector<std::string> failed;
    const TRecovery recovery = RecoverUpdate(journal, failed);
    if (recovery == TRecovery::Completed) Log("Upd unfinished update completed");
    if (recovery == TRecovery::RolledBack) Log("Upd unfinished update rolled back");
    for (const std::string& target : failed) Log("Upd not put back : " + target);
    if (recovery == TRecovery::Busy || !failed.empty()) {
      Log("Upd an unfinished update stays; nothing done");
      return 1;
    }
  }
  TStubWork worker(logging, TVerifiedFiles::FromHandOff(handOff), elevated, installation, &journal);
  for (std::size_t n = 6; n <= args.size() && worker.Failure().empty(); ++n)
    worker.ProcessFile(args[n - 1], AddBackslash(arg(5)), AddBackslash(platform::GetCurrentDir()));

  lock.reset();
  const TRestart restart{arg(3), arg(4),
                         HealthSeconds(handOff.ReadString(kHandOffSection, kHandOffHealthKey, "")),
                         handOff.ReadString(kHandOffSection, kHandOffConfirmKey, "") == "1"};
  EndUpdate(journal, worker.Failure(), restart, logging);
  return 0;
}

}  // namespace kavrel::stub
