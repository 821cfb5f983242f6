// The registry memory of the last update: the control file's address a
// control file redirected to, and the date of the last update applied.
#include "Files.h"
#include "Kavrel.h"
#include "Registry.h"
#include "System.h"

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

}  // namespace

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
      const std::string date = key->ReadString("LastDate").value_or("");
      const std::string time = key->ReadString("LastTime").value_or("");
      const TFormatSettings user = platform::UserFormatSettings();
      // A value that cannot be read ends the reading; what was read stays.
      bool readable = true;
      if (!date.empty()) {
        const int year = DecodeDateTime(platform::LocalNow()).Year;
        const auto read = ParseDate(date, user.ShortDateFormat, user.DateSeparator, year);
        if (read) value = *read;
        readable = read.has_value();
      }
      if (readable && !time.empty())
        if (const auto tod = ParseTime(time, user.TimeSeparator, user)) value += *tod;
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
  const TFormatSettings user = platform::UserFormatSettings();
  key->WriteString("LastDate", FormatDateTime(user.ShortDateFormat, Value, user));
  if (TimeOfDay(Value) != std::chrono::milliseconds::zero())
    key->WriteString("LastTime", FormatDateTime(user.LongTimeFormat, Value, user));
}

}  // namespace kavrel
