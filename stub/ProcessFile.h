// The updater stub's work on one file: the kind its name gives decides what
// is done with it (a pending copy, a list of further files, a patch, a
// cabinet, a program, or an LZ-compressed file).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "PlaceFile.h"
#include "VerifiedFiles.h"

namespace kavrel {
class TUpdateJournal;
}

namespace kavrel::stub {

// One entry of a list file: the number it has there, the name of a file in the
// source folder and the target folder given for it, as the file holds them
// (up to 128 characters each, macros not expanded).
struct TListEntry {
  int Index = 0;
  std::string File;
  std::string Target;
};

// The entries of a list file's text, section "FILES": the numbers from 1 to
// its COUNT that the file holds a FILE or a TARGET key for (spelled in decimal
// without leading zeros), in increasing order, each with both values (a
// missing one reads as empty).
std::vector<TListEntry> ReadListEntries(std::string_view text);

class TStubWork {
 public:
  // An elevated stub takes no folder and no program from a file the user can
  // write: list entries stay inside `installation`, and only programs named
  // on its command line run.
  // Every installed file it replaces goes through `journal` when given, so
  // that the whole update can be undone.
  explicit TStubWork(bool logging, TVerifiedFiles verified = {}, bool elevated = false,
                     std::string installation = {}, TUpdateJournal* journal = nullptr)
      : logging_(logging),
        verified_(std::move(verified)),
        elevated_(elevated),
        installation_(std::move(installation)),
        journal_(journal) {}

  // Handles the file `name`: a component in the folder `source`, put into the
  // folder `target` (both end with a separator or are empty).
  void ProcessFile(const std::string& name, const std::string& source, const std::string& target);
  // Why a step failed (a file not put in place, not the verified one, a
  // patch or an extraction that failed); empty while none has.
  const std::string& Failure() const { return failure_; }

 private:
  void Log(const std::string& message) const;
  void PendingCopy(const std::string& name, const std::string& source, const std::string& target);
  void ListFile(const std::string& name, const std::string& source);
  void Patch(const std::string& name, const std::string& source);
  void Cabinet(const std::string& name, const std::string& source, const std::string& target);
  void Program(const std::string& name, const std::string& source, const std::string& target);
  void Compressed(const std::string& name, const std::string& target);
  // True when `path`, the file `name`, holds what the run verified, or when
  // nothing was verified; otherwise logs why the file is left alone.
  bool Verified(const std::string& name, const std::string& path);
  // Logs a failed step; the first one is the update's failure.
  void Fail(const std::string& message);
  // Puts `from` in the place of `to`, through the journal when there is one.
  bool Place(const std::string& from, const std::string& to);
  TPlaceFile Placer();

  bool logging_;
  TVerifiedFiles verified_;
  bool elevated_;
  std::string installation_;            // ends with a separator
  std::vector<std::string> openLists_;  // the list files being worked through
  TUpdateJournal* journal_;
  std::string failure_;
};

// Whether a text holds a control character: a name or folder with one is
// refused (a line break would let a caller write lines of its choosing).
bool HoldsControlCharacter(std::string_view text);

// The stub's half-second pause: after the launcher has ended, and after each
// program it runs.
void Pause();

// A list file's target folder: the macros {WIN}, {SYS}, {APP}, {TMP} and {PF}
// replaced by this machine's folders, then a trailing separator added (an
// empty result stays empty).
std::string ExpandTargetMacros(const std::string& target);

}  // namespace kavrel::stub
