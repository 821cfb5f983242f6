// Signed updates: with PublicKey set, a control file is read only once its
// minisign signature verified with one of the keys, its "sequence" is not
// older than one this installation accepted, it has not expired and it names
// this product. Whatever it names is then checked against its signed hash.
#include <chrono>
#include <cstdio>

#include "ControlFile.h"
#include "Files.h"
#include "Kavrel.h"
#include "Locations.h"
#include "Minisign.h"
#include "PathHelpers.h"
#include "Text.h"

namespace kavrel {

namespace {

// No real signature file is anywhere near this size.
constexpr std::size_t kMaxSignatureSize = 64 * 1024;
constexpr std::int64_t kMaxPageSize = 16 * 1024 * 1024;

// "YYYY-MM-DDTHH:MM:SSZ" as a point in time; nothing for anything else.
std::optional<std::chrono::sys_seconds> ParseUtcTime(std::string_view text) {
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z')
    return std::nullopt;
  auto number = [&](std::size_t at, std::size_t digits) -> std::optional<int> {
    const auto value = ParseDecimal(text.substr(at, digits));
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
  };
  const auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
  const auto hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(*year),
                                         std::chrono::month(static_cast<unsigned>(*month)),
                                         std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok() || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  return std::chrono::sys_days(date) + std::chrono::hours(*hour) + std::chrono::minutes(*minute) +
         std::chrono::seconds(*second);
}

}  // namespace

bool TKavrel::SignedRun() const {
  return PublicKey.find_first_not_of(" \t\r\n") != std::string::npos;
}

void TKavrel::ReportUnsigned(const std::string& What, const std::string& Why) {
  ReportStatus(979, What + ": " + Why, 10, 0);
}

int TKavrel::VerifyControlFile(const std::string& Address) {
  const auto refuse = [this](int ident, const std::string& why) {
    ReportStatus(ident, why, 2, 0);
    return 4;
  };
  std::string error;
  const auto keys = trust::ParsePublicKeyList(PublicKey, error);
  if (!keys) return refuse(977, "PublicKey holds " + error);
  const auto bytes = platform::ReadWholeFile(ControlFileName, TControlFile::kMaxSize);
  if (!bytes) return refuse(977, "the control file cannot be read");
  const std::string signatureAddress = Address + ".minisig";
  const auto signature = DownloadBytes(signatureAddress, kMaxSignatureSize);
  if (!signature) return refuse(977, "no signature at " + signatureAddress);
  const trust::TVerifyResult result = trust::Verify(*bytes, *signature, *keys);
  if (result != trust::TVerifyResult::Valid)
    return refuse(977, std::string(trust::VerifyResultText(result)));

  const TControlFile control(ControlFileName);
  const std::string sequenceText = control.ReadText("update", "sequence");
  const auto sequence = ParseDecimal(sequenceText);
  if (!sequence)
    return refuse(978, sequenceText.empty() ? "no \"sequence\" in [update]"
                                            : "\"sequence\" is not a whole number");
  const auto accepted = ReadAcceptedSequence(Address);
  if (accepted && *sequence < *accepted)
    return refuse(978, "sequence " + std::to_string(*sequence) + " is older than " +
                           std::to_string(*accepted) + ", already accepted");
  if (const std::string expires = control.ReadText("update", "expires"); !expires.empty()) {
    const auto until = ParseUtcTime(expires);
    if (!until) return refuse(978, "\"expires\" is not a UTC time YYYY-MM-DDTHH:MM:SSZ");
    if (*until <= std::chrono::system_clock::now()) return refuse(978, "expired at " + expires);
  }
  if (!ProductID.empty() && control.ReadText("update", "product") != ProductID)
    return refuse(978, "made for another product than " + ProductID);
  if (!accepted || *sequence > *accepted) WriteAcceptedSequence(Address, *sequence);
  return 0;
}

void TKavrel::ShowSignedPage(const TControlFile& Control, const std::string& Page) {
  std::string why;
  const auto expected = ReadSignedContent(Control, "action", "htmldlgsha256", kMaxPageSize, why);
  if (!expected) return ReportUnsigned(Page, why);
  // The page is shown from a verified copy of its own, never from where it
  // came: what is shown is what was checked.
  std::optional<std::string> bytes;
  if (SchemeOf(Page).empty()) {
    bytes = platform::ReadWholeFile(Page, kMaxPageSize);
  } else {
    ExpectedContent = expected;
    bytes = DownloadBytes(Page, kMaxPageSize);
  }
  if (!bytes) return;
  if (trust::Sha256Hex(*bytes) != expected->Sha256)
    return ReportUnsigned(Page, "its SHA-256 is not the signed one");
  const auto folder = platform::TTemporaryFolder::Create(GetTempDir(), "KAVR");
  if (!folder) return;
  const std::string copy = AddBackslash(folder->Path()) + "page.html";
  platform::WriteFileAtomically(copy, *bytes);
  ShowHTMLDialogURL(copy);
  platform::DeleteFileAt(copy);
}

}  // namespace kavrel
