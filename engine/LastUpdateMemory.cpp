// The registry memory of the last update: the control file's address a
// control file redirected to, and the date of the last update applied.
#include "Files.h"
#include "Kavrel.h"
#include "Registry.h"
#include "Sha256.h"
#include "System.h"
#include "Text.h"

namespace kavrel {

namespace {

bool Configured(const TLastURLEntry& entry) { return !entry.Key.empty() && !entry.Section.empty(); }

// The key that holds the values, created when missing. Nothing when it cannot
// be had with read and write access (a hive this user may not write): reads
// then find no values and writes go nowhere.
std::optional<platform::TRegistryKey> OpenMemory(const TLastURLEntry& entry) {
  const auto root = entry.RegRoot == lurLOCALMACHINE ? platform::TRegRoot::LocalMachine
                                                     : platform::TRegRoot::CurrentUser;
  return platform::OpenRegistryKey(root, entry.Key + "\\" + entry.Section,
                                   platform::TRegAccess::Full, true);
}

// The user's formats where a date written with them reads back, year-month-day
// and hours:minutes:seconds where it would not; years with four digits.
TFormatSettings MemoryFormats() { return ReadableFormats(platform::UserFormatSettings()); }

// The date and time as the memory holds them: in the user's formats, the time
// only when it is not midnight.
std::pair<std::string, std::string> RememberedText(TDateTime value) {
  const TFormatSettings user = MemoryFormats();
  std::string time;
  if (TimeOfDay(value) != std::chrono::milliseconds::zero())
    time = FormatDateTime(user.LongTimeFormat, value, user);
  return {FormatDateTime(user.ShortDateFormat, value, user), time};
}

// The date read back; a value that cannot be read ends the reading, and what
// was read stays.
TDateTime FromRememberedText(TDateTime value, const std::string& date, const std::string& time) {
  const TFormatSettings user = MemoryFormats();
  bool readable = true;
  if (!date.empty()) {
    const int year = DecodeDateTime(platform::LocalNow()).Year;
    const auto read = ParseDate(date, user.ShortDateFormat, user.DateSeparator, year);
    if (read) value = *read;
    readable = read.has_value();
  }
  if (readable && !time.empty())
    if (const auto tod = ParseTime(time, user.TimeSeparator, user)) value += *tod;
  return value;
}

// Where the accepted sequences of signed control files are kept: beside the
// last update when that memory is configured, else in the user's own store.
std::optional<platform::TRegistryKey> OpenSequenceMemory(const TLastURLEntry& entry) {
  if (Configured(entry)) return OpenMemory(entry);
  return platform::OpenRegistryKey(platform::TRegRoot::CurrentUser, "Software\\Kavrel\\Sequences",
                                   platform::TRegAccess::Full, true);
}

// One value per control-file address and product, named by a hash of both:
// an address may hold any character, a value name may not.
std::string SequenceValueName(const std::string& address, const std::string& product) {
  return "Sequence-" + trust::Sha256Hex(address + "\n" + product).substr(0, 32);
}

}  // namespace

std::optional<std::int64_t> TKavrel::ReadAcceptedSequence(const std::string& Address) {
  const auto key = OpenSequenceMemory(LastURLEntry);
  if (!key) return std::nullopt;
  const auto text = key->ReadString(SequenceValueName(Address, ProductID));
  return text ? ParseDecimal(*text) : std::nullopt;
}

void TKavrel::WriteAcceptedSequence(const std::string& Address, std::int64_t Value) {
  if (auto key = OpenSequenceMemory(LastURLEntry))
    key->WriteString(SequenceValueName(Address, ProductID), std::to_string(Value));
}

TDateTime TKavrel::AsRemembered(TDateTime Value) {
  const auto [date, time] = RememberedText(Value);
  return FromRememberedText(DefaultControlDate(), date, time);
}

std::string TKavrel::ReadLastURL() {
  if (!Configured(LastURLEntry) || !LastURLEntry.Save) return {};
  const auto key = OpenMemory(LastURLEntry);
  return key ? key->ReadString("LastURL").value_or("") : std::string();
}

void TKavrel::WriteLastURL(const std::string& Address) {
  if (!Configured(LastURLEntry) || !LastURLEntry.Save) return;
  if (auto key = OpenMemory(LastURLEntry)) key->WriteString("LastURL", Address);
}

TDateTime TKavrel::ReadLastUpdateDate() {
  TDateTime value = DefaultControlDate();
  if (Configured(LastURLEntry)) {
    if (const auto key = OpenMemory(LastURLEntry)) {
      value = FromRememberedText(value, key->ReadString("LastDate").value_or(""),
                                 key->ReadString("LastTime").value_or(""));
    }
    SaveLastDate = true;
  } else if (!LocalVersionFile.empty() && platform::FileExists(LocalVersionFile)) {
    if (const auto written = platform::LastWriteTime(LocalVersionFile)) value = *written;
  }
  return value;
}

void TKavrel::WriteLastUpdateDate(TDateTime Value) {
  if (!Configured(LastURLEntry) || !LastURLEntry.Save) return;
  auto key = OpenMemory(LastURLEntry);
  if (!key) return;
  const auto [date, time] = RememberedText(Value);
  key->WriteString("LastDate", date);
  if (!time.empty()) key->WriteString("LastTime", time);
}

}  // namespace kavrel
