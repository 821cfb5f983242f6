#include "ProcessFile.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "Errors.h"
#include "FileDigest.h"
#include "Files.h"
#include "IniDocument.h"
#include "LzExpand.h"
#include "PatchCommand.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "Processes.h"
#include "Sha256.h"
#include "Text.h"
#include "Ulog.h"
#include "UpdateJournal.h"
#include "cabfdi.h"

namespace kavrel::stub {

namespace {

constexpr std::size_t kListValueLength = 128;

// The text from the name's last dot in upper case, when that dot comes after
// the last separator or drive mark; empty otherwise.
std::string UpperExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  const std::size_t folder = name.find_last_of("\\/:");
  if (dot == std::string::npos || (folder != std::string::npos && dot < folder)) return {};
  return UpperCase(name.substr(dot));
}

bool EndsWithNew(const std::string& name) {
  return name.size() >= 4 && UpperCase(name.substr(name.size() - 4)) == "_NEW";
}

// The pending file in the source folder: file names there may differ in case
// from what the list names ("app.exe_new" for "app.exe_NEW").
std::string FindPending(const std::string& source, const std::string& name,
                        const std::string& base) {
  for (const std::string& candidate : {name, base + "_NEW", base + "_new"})
    if (platform::FileExists(source + candidate)) return source + candidate;
  return {};
}

// The number of a FILE or TARGET key as the list's entries are looked up:
// decimal without leading zeros, from 1; 0 for anything else.
int EntryNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 10 || digits.front() == '0' ||
      digits.find_first_not_of("0123456789") != std::string_view::npos)
    return 0;
  return ParseInt32(digits).value_or(0);
}

// Hashes a copy as it is made; the copy takes its place only when whole and
// equal to the verified file.
class TSha256Check : public platform::TCopyCheck {
 public:
  explicit TSha256Check(std::string expected) : expected_(std::move(expected)) {}
  void Add(const char* bytes, std::size_t count) override {
    hash_.Add(std::string_view(bytes, count));
  }
  bool Accept() override { return matched_ = hash_.HexDigest() == expected_; }
  bool Matched() const { return matched_; }

 private:
  std::string expected_;
  trust::TSha256 hash_;
  bool matched_ = true;  // until a whole copy was seen to differ
};

// A program given as one path, so that a folder with blanks still names it.
std::string QuotedProgram(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(500)); }

bool HoldsControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

void TStubWork::Log(const std::string& message) const {
  if (logging_) WriteLog(message);
}

void TStubWork::Fail(const std::string& message) {
  Log(message);
  if (failure_.empty()) failure_ = message.substr(message.find(' ') + 1);
}

bool TStubWork::Place(const std::string& from, const std::string& to) {
  if (journal_ == nullptr) return platform::ReplaceFileWith(from, to);
  try {
    journal_->Begin("", "");
    return journal_->Replace(from, to);
  } catch (const platform::EInOutError& e) {
    Log(std::string("Upd ") + e.what());
    return false;
  }
}

TPlaceFile TStubWork::Placer() {
  return [this](const std::string& from, const std::string& to) { return Place(from, to); };
}

void TStubWork::ProcessFile(const std::string& name, const std::string& source,
                            const std::string& target) {
  if (!failure_.empty()) return;  // the update is undone as a whole
  if (EndsWithNew(name)) return PendingCopy(name, source, target);
  const std::string extension = UpperExtension(name);
  if (extension == ".INF") return ListFile(name, source);
  if (extension == ".PAT") return Patch(name, source);
  if (extension == ".CAB") return Cabinet(name, source, target);
  if (extension == ".EXE") return Program(name, source, target);
  Compressed(name, target);
}

void TStubWork::PendingCopy(const std::string& name, const std::string& source,
                            const std::string& target) {
  const std::string base = name.substr(0, name.size() - 4);
  const std::string pending = FindPending(source, name, base);
  if (pending.empty()) return;
  const std::string what = source + base + "_NEW to " + target + base;
  Log("Upd copying file : " + what);
  // The pending file stays where it is: a whole copy is made beside the
  // target, then swapped with it in one journalled step, so that a program is
  // never left half written. After a signed run the copy itself is hashed, so
  // that what is installed is what was verified, whatever happens to the
  // pending file meanwhile.
  std::optional<TSha256Check> check;
  if (verified_.Required()) {
    const auto hash = verified_.HashOf(pending.substr(source.size()));
    if (!hash) return Fail("Upd not verified, left alone : " + pending);
    check.emplace(*hash);
  }
  const std::string destination = target + base;
  std::string copy;
  if (auto file = platform::TFile::CreateTemporary(std::string(platform::FolderPart(destination)),
                                                   "KAVR", copy)) {
    file.reset();
    if (platform::CopyFileOver(pending, copy, check ? &*check : nullptr)) {
      platform::ShareLike(copy, platform::FileExists(destination) ? destination : pending);
      if (Place(copy, destination)) return;
    }
    platform::DeleteFileAt(copy);
  }
  Fail(check && !check->Matched() ? "Upd verification failed : " + pending
                                  : "Upd copy error " + what);
}

bool TStubWork::Verified(const std::string& name, const std::string& path) {
  if (!verified_.Required()) return true;
  const auto hash = verified_.HashOf(name);
  if (!hash) {
    Fail("Upd not verified, left alone : " + path);
    return false;
  }
  if (FileSha256(path) != *hash) {
    Fail("Upd verification failed : " + path);
    return false;
  }
  return true;
}

void TStubWork::ListFile(const std::string& name, const std::string& source) {
  const std::string path = source + name;
  // A list that names itself, directly or through others, is worked through once.
  if (std::find(openLists_.begin(), openLists_.end(), path) != openLists_.end()) return;
  if (!Verified(name, path)) return;
  Log("Upd inf file: " + path);
  const std::vector<TListEntry> entries =
      ReadListEntries(platform::ReadWholeFile(path).value_or(""));
  openLists_.push_back(path);
  for (const TListEntry& entry : entries) {
    if (!failure_.empty()) break;
    if (HoldsControlCharacter(entry.File) || HoldsControlCharacter(entry.Target)) {
      Log("Upd inf " + std::to_string(entry.Index) + " refused: a control character");
      continue;
    }
    Log("upd inf " + std::to_string(entry.Index) + " : " + entry.File + " " + entry.Target);
    const std::string target = ExpandTargetMacros(entry.Target);
    if (elevated_ && !target.empty() &&
        !SameText(std::string_view(target).substr(0, installation_.size()), installation_)) {
      Log("Upd inf " + std::to_string(entry.Index) + " refused: " + target +
          " is outside the installation");
      continue;
    }
    ProcessFile(entry.File, source, target);
  }
  openLists_.pop_back();
}

// The utility beside the stub (where the engine deploys it with the
// temporary folder) or in the current folder; the program to patch found in
// the current folder, the case of its name aside. A failed patch is logged
// and stays for a later run; the program stays as it was.
void TStubWork::Patch(const std::string& name, const std::string& source) {
  if (!Verified(name, source + name)) return;
  const std::string named = name.substr(0, name.rfind('.')) + ".EXE";
  const std::string program = platform::ExistingIgnoringCase(named).value_or(named);
  const std::string utility =
      FindPatchUtility({platform::ProgramFolder(), platform::GetCurrentDir()});
  // The utility changes the program where it stands: a backup is kept first.
  if (journal_ != nullptr) {
    try {
      journal_->Begin("", "");
      if (!journal_->KeepBackup(program))
        return Fail("Upd patch failed : " + source + name + " " + program + " (no backup)");
    } catch (const platform::EInOutError& e) {
      return Fail(std::string("Upd patch failed : ") + e.what());
    }
  }
  const std::optional<int> status = platform::RunAndWait(
      PatchCommandLine(utility, source + name, program, logging_ ? LogPath() : std::string()),
      false);
  if (status && *status == 0) {
    try {
      if (journal_ != nullptr) journal_->Placed(program);
    } catch (const platform::EInOutError& e) {
      return Fail(std::string("Upd patch failed : ") + e.what());
    }
    platform::DeleteFileAt(source + name);
    return;
  }
  Fail("Upd patch failed : " + source + name + " " + program +
       (status ? " (status " + std::to_string(*status) + ")" : " (not started)"));
}

void TStubWork::Cabinet(const std::string& name, const std::string& source,
                        const std::string& target) {
  Log("Upd cab extract " + name + " " + target);
  if (!Verified(name, source + name)) return;
  if (ExtractCabinet(source + name, target, nullptr, Placer()) == 0)
    platform::DeleteFileAt(source + name);
  else
    Fail("Upd cabextract failed");
}

void TStubWork::Program(const std::string& name, const std::string& source,
                        const std::string& target) {
  Log("Upd execute " + name + " " + target);
  if (!Verified(name, source + name)) return;
  if (elevated_ && !openLists_.empty()) {
    Log("Upd a list names no program to run with raised rights : " + name);
    return;
  }
  // Only a program of this user's: one another user placed in a shared
  // download folder is never run as this user.
  if (!platform::OwnedByThisUser(source + name)) {
    Log("Upd not this user's program, left alone : " + source + name);
    return;
  }
  // A program that arrived with the update carries no permission to run yet.
  platform::MakeExecutable(source + name);
  platform::RunAndWait(QuotedProgram(source + name), false);
  Pause();
  platform::DeleteFileAt(source + name);
}

void TStubWork::Compressed(const std::string& name, const std::string& target) {
  Log("Upd lzexpand " + name + " " + target);
  if (!Verified(name, name)) return;
  // A file that is not in the LZ format has no name to expand to: it is left
  // exactly as it is.
  const auto expandedName = ExpandedLZName(name);
  if (!expandedName) return;
  Log("Upd lzexpand dest. filename " + *expandedName);
  // Straight into its target, replacing it whole; never over a file of that
  // name elsewhere.
  if (!ExpandLZ(name, target.empty() ? std::nullopt : std::optional<std::string>(target), Placer()))
    Fail("Upd lzexpand failed " + name);
}

std::vector<TListEntry> ReadListEntries(std::string_view text) {
  const TIniDocument list = TIniDocument::Parse(text);
  const int count = list.ReadInteger("FILES", "COUNT", 0);
  // Only the numbers the file holds a FILE or TARGET key for are worked
  // through: any other number up to the count reads as an empty name without
  // a folder, which names nothing to do. So neither a count nor a number far
  // beyond the entries makes the stub work through all the numbers below it.
  std::set<int> numbers;
  for (const std::string& key : list.KeyNames("FILES")) {
    const std::string upper = UpperCase(key);
    for (const std::string_view prefix : {"FILE", "TARGET"}) {
      if (upper.compare(0, prefix.size(), prefix) != 0) continue;
      const int n = EntryNumber(std::string_view(upper).substr(prefix.size()));
      if (n > 0 && n <= count) numbers.insert(n);
    }
  }
  std::vector<TListEntry> entries;
  for (const int k : numbers) {
    const std::string index = std::to_string(k);
    entries.push_back({k, list.ReadString("FILES", "FILE" + index, "").substr(0, kListValueLength),
                       list.ReadString("FILES", "TARGET" + index, "").substr(0, kListValueLength)});
  }
  return entries;
}

std::string ExpandTargetMacros(const std::string& target) {
  // The stub knows no documents folder: it may run as another user than the
  // engine did.
  return AddBackslash(ExpandBracedMacros(target, [](const std::string& name) {
    return name == "DOC" ? std::string() : FolderMacroValue(name);
  }));
}

}  // namespace kavrel::stub
