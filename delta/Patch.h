// Patches made from two versions of a file and applied whole or not at all.
// A patch is our header (PatchHeader.h) and one plain zstd frame made with
// the old file as its referenced prefix, so that whatever the new version
// shares with the old one, wherever it lies, costs a few bytes.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kavrel::delta {

enum class TPatchResult {
  Applied,       // done: the patch written, or the file now the new version
  WrongOldFile,  // the file is not the one the patch was made from; nothing written
  BadPatch,      // not a patch, damaged, or its result not the recorded one; nothing replaced
  CannotRead,    // a file could not be read
  CannotWrite,   // the result could not be written or put in place; the file unchanged
};

struct TPatchOutcome {
  TPatchResult Result = TPatchResult::Applied;
  std::string Detail;  // for a person: what was done, or what went wrong
  bool Succeeded() const { return Result == TPatchResult::Applied; }
};

// The exit status the patch utility and `kavrel patch` end with: 0 when done,
// 2 when the file is not the one the patch was made from, 1 otherwise.
inline int ExitStatus(TPatchResult result) {
  return result == TPatchResult::Applied ? 0 : result == TPatchResult::WrongOldFile ? 2 : 1;
}

// Each step of the work as it begins, for a log or a console.
using TPatchProgress = std::function<void(std::string_view step)>;

struct TDiffOptions {
  // zstd's level: 19 is its highest before the levels that need far more
  // memory for the same window.
  int Level = 19;
  // Worker threads; 0 takes those the machine has. The patch is the same
  // whatever their number.
  unsigned Threads = 0;
};

// Makes the patch that turns `oldFile` into `newFile` and writes it whole at
// `patchFile` (under a temporary name, then renamed).
TPatchOutcome MakePatch(const std::string& oldFile, const std::string& newFile,
                        const std::string& patchFile, const TDiffOptions& options = {},
                        const TPatchProgress& progress = {});

// Applies a patch to `target`: the target's size and hash are checked before
// anything is written; the result is written beside it under a temporary
// name, checked against the recorded size and hash, flushed, given the
// target's permission bits and renamed over it. A patch made from an empty
// file also applies where the target is missing, and creates it. Memory: the
// two files are mapped, not read.
TPatchOutcome ApplyPatch(const std::string& patchFile, const std::string& target,
                         const TPatchProgress& progress = {});

}  // namespace kavrel::delta
