// What a signed control file says about a file it names: its SHA-256 and its
// size as fetched. A transfer is checked against them as it arrives, so that
// nothing the publisher did not sign replaces, expands, patches or runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Sha256.h"

namespace kavrel {

// Also the bound of an unsigned transfer: no hash, only a limit.
struct TSignedContent {
  std::string Sha256;      // 64 lower-case hexadecimal digits; empty: not signed
  std::int64_t Size = -1;  // bytes; -1 when only a limit applies
  std::int64_t Limit = 0;  // with no size: the most that may arrive
  std::string Beyond;      // why no more may arrive, for the report

  static TSignedContent Bounded(std::int64_t limit, std::string beyond) {
    return {"", -1, limit, std::move(beyond)};
  }
};

class TContentCheck {
 public:
  explicit TContentCheck(TSignedContent expected) : expected_(std::move(expected)) {}
  bool Signed() const { return !expected_.Sha256.empty(); }
  // False once more has arrived than the content may have: the transfer stops.
  bool Add(const char* bytes, std::size_t count);
  // Why the whole content is not the signed one; nothing when it is.
  std::optional<std::string> Mismatch();

 private:
  TSignedContent expected_;
  trust::TSha256 hash_;
  std::int64_t received_ = 0;
};

// The signed hash and, when `size` is given, the signed size, from their
// control-file texts; nothing, with `why` saying what is wrong with `where`,
// when either is missing or malformed. Without a size `limit` applies.
std::optional<TSignedContent> ParseSignedContent(std::string_view hash,
                                                 std::optional<std::string_view> size,
                                                 std::int64_t limit, std::string_view where,
                                                 std::string& why);

// The signed hash under `hashKey` of a control-file section, with `limit`.
class TControlFile;
std::optional<TSignedContent> ReadSignedContent(const TControlFile& control,
                                                std::string_view section, std::string_view hashKey,
                                                std::int64_t limit, std::string& why);

}  // namespace kavrel
