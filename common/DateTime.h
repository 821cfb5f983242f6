// Local date-time values and their text forms. A value is a local civil date and
// time of day with millisecond resolution, compared as a point in time. Text forms
// use the pattern notation of the system's settings: d dd m mm mmm mmmm yy yyyy
// h hh n nn s ss z zzz am/pm, with "/" standing for the date separator and ":"
// for the time separator, and text in quotes taken as it stands.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kavrel {

using TDateTime = std::chrono::local_time<std::chrono::milliseconds>;

struct TDateParts {
  int Year = 1980;
  int Month = 1;
  int Day = 1;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

// Nothing is checked: callers pass a valid calendar date and time of day.
TDateTime EncodeDateTime(const TDateParts& parts);
std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
TDateParts DecodeDateTime(TDateTime value);
std::chrono::milliseconds TimeOfDay(TDateTime value);
// 1 January 1980, 00:00: what an unreadable control-file date counts as.
TDateTime DefaultControlDate();

// The regional settings through which dates and times become text and back.
// A separator is one character, which may take several bytes.
struct TFormatSettings {
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string DateSeparator = "/";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string TimeSeparator = ":";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
};

std::string FormatDateTime(std::string_view pattern, TDateTime value,
                           const TFormatSettings& settings);

// Two or three whole numbers separated by `separator`, ordered by the first of
// the letters d, m and y in `dateFormat`. With two numbers the year is
// `currentYear`; a year written with one or two digits is taken in the century
// of `currentYear`. Nothing else is accepted.
std::optional<TDateTime> ParseDate(std::string_view text, std::string_view dateFormat,
                                   std::string_view separator, int currentYear);

// Hours and minutes, optionally seconds and milliseconds after a full stop,
// separated by `separator`, optionally followed by an AM or PM marker.
std::optional<std::chrono::milliseconds> ParseTime(std::string_view text,
                                                   std::string_view separator,
                                                   const TFormatSettings& markers = {});

// The settings with their date and time formats kept where a value written
// with them reads back, and replaced where it would not (month names,
// characters of other scripts between the numbers, a trailing separator) by
// year-month-day and hours:minutes:seconds; a two-digit year is widened to
// four, so that 1980 is never read back as 2080. For values the system
// writes to read again later, never for what the user reads.
TFormatSettings ReadableFormats(TFormatSettings settings);

// Appends a character of a system's date or time picture to an engine
// pattern as itself: quoted where the pattern would read it as a mark.
void AppendPatternLiteral(std::string& pattern, char c);

// Turns a C library date or time format ("%d.%m.%Y", "%H:%M:%S") into the
// pattern notation above and tells the separator it uses; `isTime` says whether
// that separator stands for the time separator or the date separator. The
// separator is the first ASCII mark that is neither letter, digit nor blank
// ("/" where there is none); characters of other scripts are text of the
// format ("%Y年%m月%d日" writes 2009年03月21日).
std::string PatternFromStrftime(std::string_view format, bool isTime, std::string* separator);

}  // namespace kavrel
