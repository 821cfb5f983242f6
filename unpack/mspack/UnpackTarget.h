// One file that a decompressor writes: it goes to a temporary file in the
// folder of its target and replaces the target in one step only once it is
// complete, so that an existing file is either replaced by a whole new one
// or stays as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "DateTime.h"
#include "MspackFiles.h"
#include "PlaceFile.h"

namespace kavrel {

class TUnpackTarget {
 public:
  // Makes the temporary file beside `target` and prepares it for libmspack;
  // false when it cannot be made.
  bool Prepare(TMspackFiles& files, const std::string& target);
  // The name to give the decompressor as its output.
  const std::string& TempPath() const { return temp_; }
  // Puts the file in place when the decompressor wrote all of it and it holds
  // `length` bytes: with the permissions of the file it replaces (those of a
  // new file where there was none) and `lastWrite` as its time when given.
  // False, with the temporary file deleted, otherwise. `place`, when given,
  // puts it there.
  bool Commit(const TMspackFiles& files, std::uint64_t length,
              std::optional<TDateTime> lastWrite = std::nullopt, const TPlaceFile& place = {});

  TUnpackTarget() = default;
  TUnpackTarget(const TUnpackTarget&) = delete;
  TUnpackTarget& operator=(const TUnpackTarget&) = delete;
  ~TUnpackTarget();

 private:
  std::string target_;
  std::string temp_;
};

}  // namespace kavrel
