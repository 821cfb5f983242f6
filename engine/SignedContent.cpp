#include "SignedContent.h"

#include "ControlFile.h"
#include "Text.h"

namespace kavrel {

bool TContentCheck::Add(const char* bytes, std::size_t count) {
  received_ += static_cast<std::int64_t>(count);
  if (Signed()) hash_.Add(std::string_view(bytes, count));
  const std::int64_t most = expected_.Size >= 0 ? expected_.Size : expected_.Limit;
  return received_ <= most;
}

std::optional<std::string> TContentCheck::Mismatch() {
  if (expected_.Size >= 0 && received_ != expected_.Size)
    return (received_ > expected_.Size ? "more than the " : "not the ") +
           std::to_string(expected_.Size) + " signed bytes arrived";
  if (expected_.Size < 0 && received_ > expected_.Limit)
    return expected_.Beyond.empty()
               ? "more than " + std::to_string(expected_.Limit) + " bytes arrived"
               : expected_.Beyond;
  if (Signed() && hash_.HexDigest() != expected_.Sha256) return "its SHA-256 is not the signed one";
  return std::nullopt;
}

std::optional<TSignedContent> ParseSignedContent(std::string_view hash,
                                                 std::optional<std::string_view> size,
                                                 std::int64_t limit, std::string_view where,
                                                 std::string& why) {
  TSignedContent content;
  content.Limit = limit;
  const auto normal = trust::NormalizedSha256(hash);
  if (!normal) {
    why = hash.empty() ? "no SHA-256 in " + std::string(where)
                       : "the SHA-256 in " + std::string(where) + " is not 64 hexadecimal digits";
    return std::nullopt;
  }
  content.Sha256 = *normal;
  if (size) {
    const auto value = ParseDecimal(*size);
    if (!value) {
      why = size->empty() ? "no size in " + std::string(where)
                          : "the size in " + std::string(where) + " is not a byte count";
      return std::nullopt;
    }
    content.Size = *value;
  }
  return content;
}

std::optional<TSignedContent> ReadSignedContent(const TControlFile& control,
                                                std::string_view section, std::string_view hashKey,
                                                std::int64_t limit, std::string& why) {
  return ParseSignedContent(control.ReadText(section, hashKey), std::nullopt, limit,
                            "[" + std::string(section) + "]", why);
}

}  // namespace kavrel
