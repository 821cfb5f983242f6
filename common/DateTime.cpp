#include "DateTime.h"

#include <array>
#include <cctype>
#include <vector>

#include "Text.h"

namespace kavrel {

using namespace std::chrono;

TDateTime EncodeDateTime(const TDateParts& p) {
  const local_days day{year{p.Year} / month{static_cast<unsigned>(p.Month)} /
                       std::chrono::day{static_cast<unsigned>(p.Day)}};
  return TDateTime{day.time_since_epoch()} + hours{p.Hour} + minutes{p.Minute} + seconds{p.Second} +
         milliseconds{p.Millisecond};
}

std::optional<TDateTime> TryEncodeDate(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
  const year_month_day ymd{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
  if (!ymd.ok()) return std::nullopt;
  return TDateTime{local_days{ymd}.time_since_epoch()};
}

TDateParts DecodeDateTime(TDateTime value) {
  const auto dayStart = floor<days>(value);
  const year_month_day ymd{dayStart};
  const hh_mm_ss<milliseconds> tod{value - dayStart};
  TDateParts p;
  p.Year = static_cast<int>(ymd.year());
  p.Month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  p.Day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  p.Hour = static_cast<int>(tod.hours().count());
  p.Minute = static_cast<int>(tod.minutes().count());
  p.Second = static_cast<int>(tod.seconds().count());
  p.Millisecond = static_cast<int>(tod.subseconds().count());
  return p;
}

milliseconds TimeOfDay(TDateTime value) { return value - floor<days>(value); }

TDateTime DefaultControlDate() { return EncodeDateTime(TDateParts{}); }

namespace {

constexpr std::array<const char*, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

std::string Padded(int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width)
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

std::size_t RunLength(std::string_view s, std::size_t i) {
  std::size_t n = 1;
  while (i + n < s.size() && UpperAscii(s[i + n]) == UpperAscii(s[i])) ++n;
  return n;
}

bool StartsWithNoCase(std::string_view s, std::size_t i, std::string_view what) {
  return s.size() - i >= what.size() && SameText(s.substr(i, what.size()), what);
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, TDateTime value,
                           const TFormatSettings& settings) {
  const TDateParts p = DecodeDateTime(value);
  const bool twelveHour = pattern.find("am/pm") != std::string_view::npos ||
                          pattern.find("AM/PM") != std::string_view::npos ||
                          pattern.find("ampm") != std::string_view::npos ||
                          pattern.find("AMPM") != std::string_view::npos;
  std::string out;
  bool afterHour = false;  // "m" right after an hour means minutes
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    const char u = UpperAscii(c);
    if (c == '"' || c == '\'') {
      const std::size_t close = pattern.find(c, i + 1);
      const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
      out += pattern.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    if (StartsWithNoCase(pattern, i, "am/pm") || StartsWithNoCase(pattern, i, "ampm")) {
      out += p.Hour < 12 ? settings.TimeAMString : settings.TimePMString;
      i += StartsWithNoCase(pattern, i, "ampm") ? 4 : 5;
      continue;
    }
    const std::size_t n = RunLength(pattern, i);
    switch (u) {
      case 'D':
        if (n <= 2)
          out += Padded(p.Day, static_cast<int>(n));
        else {
          const weekday wd{floor<days>(value)};
          const std::string name = kDayNames[wd.c_encoding()];
          out += n == 3 ? name.substr(0, 3) : name;
        }
        break;
      case 'M':
        if (afterHour && n <= 2)
          out += Padded(p.Minute, static_cast<int>(n));
        else if (n <= 2)
          out += Padded(p.Month, static_cast<int>(n));
        else {
          const std::string name = kMonthNames[static_cast<std::size_t>(p.Month - 1)];
          out += n == 3 ? name.substr(0, 3) : name;
        }
        break;
      case 'Y':
        out += n <= 2 ? Padded(p.Year % 100, 2) : Padded(p.Year, 4);
        break;
      case 'H': {
        int h = p.Hour;
        if (twelveHour) h = h % 12 == 0 ? 12 : h % 12;
        out += Padded(h, n >= 2 ? 2 : 1);
        break;
      }
      case 'N':
        out += Padded(p.Minute, n >= 2 ? 2 : 1);
        break;
      case 'S':
        out += Padded(p.Second, n >= 2 ? 2 : 1);
        break;
      case 'Z':
        out += Padded(p.Millisecond, n >= 3 ? 3 : 1);
        break;
      case '/':
        for (std::size_t k = 0; k < n; ++k) out += settings.DateSeparator;
        break;
      case ':':
        for (std::size_t k = 0; k < n; ++k) out += settings.TimeSeparator;
        break;
      default:
        out.append(pattern.substr(i, n));
        break;
    }
    if (u == 'H')
      afterHour = true;
    else if (std::isalpha(static_cast<unsigned char>(c)))
      afterHour = false;
    i += n;
  }
  return out;
}

namespace {

// Splits a text at `separator` into whole numbers; nothing but digits and
// surrounding blanks may stand between the separators.
std::optional<std::vector<std::pair<int, std::size_t>>> SplitNumbers(std::string_view text,
                                                                     std::string_view separator) {
  if (separator.empty()) return std::nullopt;
  std::vector<std::pair<int, std::size_t>> numbers;  // value and digit count
  std::size_t pos = 0;
  while (true) {
    const std::size_t end = text.find(separator, pos);
    const std::string_view part = TrimView(
        text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
    if (part.empty() || part.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    numbers.emplace_back(value, part.size());
    if (end == std::string_view::npos) break;
    pos = end + separator.size();
  }
  return numbers;
}

}  // namespace

std::optional<TDateTime> ParseDate(std::string_view text, std::string_view dateFormat,
                                   std::string_view separator, int currentYear) {
  const auto numbers = SplitNumbers(TrimView(text), separator);
  if (!numbers || numbers->size() < 2 || numbers->size() > 3) return std::nullopt;
  char order = 'D';
  for (char c : dateFormat) {
    const char u = UpperAscii(c);
    if (u == 'D' || u == 'M' || u == 'Y') {
      order = u;
      break;
    }
  }
  const auto& n = *numbers;
  int y = currentYear, m = 0, d = 0;
  std::size_t yearDigits = 4;
  if (n.size() == 2) {
    if (order == 'M')
      m = n[0].first, d = n[1].first;
    else if (order == 'Y')
      m = n[0].first, d = n[1].first;
    else
      d = n[0].first, m = n[1].first;
  } else if (order == 'M') {
    m = n[0].first, d = n[1].first, y = n[2].first, yearDigits = n[2].second;
  } else if (order == 'Y') {
    y = n[0].first, yearDigits = n[0].second, m = n[1].first, d = n[2].first;
  } else {
    d = n[0].first, m = n[1].first, y = n[2].first, yearDigits = n[2].second;
  }
  if (yearDigits <= 2) y += currentYear / 100 * 100;
  return TryEncodeDate(y, m, d);
}

std::optional<milliseconds> ParseTime(std::string_view text, std::string_view separator,
                                      const TFormatSettings& markers) {
  std::string_view rest = TrimView(text);
  int meridiem = 0;  // 1 before noon, 2 after
  for (const auto& [marker, value] :
       {std::pair{std::string_view(markers.TimeAMString), 1},
        std::pair{std::string_view(markers.TimePMString), 2}, std::pair{std::string_view("AM"), 1},
        std::pair{std::string_view("PM"), 2}}) {
    if (meridiem == 0 && !marker.empty() && rest.size() > marker.size() &&
        SameText(rest.substr(rest.size() - marker.size()), marker)) {
      meridiem = value;
      rest = TrimView(rest.substr(0, rest.size() - marker.size()));
    }
  }
  int fraction = 0;
  if (const std::size_t dot = rest.find('.'); dot != std::string_view::npos && separator != ".") {
    const std::string_view frac = rest.substr(dot + 1);
    if (frac.empty() || frac.size() > 3) return std::nullopt;
    for (char c : frac) {
      if (c < '0' || c > '9') return std::nullopt;
      fraction = fraction * 10 + (c - '0');
    }
    for (std::size_t i = frac.size(); i < 3; ++i) fraction *= 10;
    rest = rest.substr(0, dot);
  }
  const auto numbers = SplitNumbers(rest, separator);
  if (!numbers || numbers->size() < 2 || numbers->size() > 3) return std::nullopt;
  if (fraction != 0 && numbers->size() != 3) return std::nullopt;
  int h = (*numbers)[0].first;
  const int n = (*numbers)[1].first;
  const int s = numbers->size() == 3 ? (*numbers)[2].first : 0;
  if (meridiem != 0) {
    if (h < 1 || h > 12) return std::nullopt;
    h = h % 12 + (meridiem == 2 ? 12 : 0);
  }
  if (h > 23 || n > 59 || s > 59) return std::nullopt;
  return hours{h} + minutes{n} + seconds{s} + milliseconds{fraction};
}

TFormatSettings ReadableFormats(TFormatSettings settings) {
  if (settings.ShortDateFormat.find("yyyy") == std::string::npos) {
    const std::size_t yy = settings.ShortDateFormat.find("yy");
    if (yy != std::string::npos) settings.ShortDateFormat.replace(yy, 2, "yyyy");
  }
  const TDateTime sample = EncodeDateTime({2009, 3, 21, 14, 2, 37, 0});
  const std::string date = FormatDateTime(settings.ShortDateFormat, sample, settings);
  const auto readDate = ParseDate(date, settings.ShortDateFormat, settings.DateSeparator, 2009);
  if (!readDate || *readDate != EncodeDateTime({2009, 3, 21, 0, 0, 0, 0})) {
    settings.ShortDateFormat = "yyyy/mm/dd";
    settings.DateSeparator = "-";
  }
  const std::string time = FormatDateTime(settings.LongTimeFormat, sample, settings);
  const auto readTime = ParseTime(time, settings.TimeSeparator, settings);
  if (!readTime || *readTime != TimeOfDay(sample)) {
    settings.LongTimeFormat = "hh:nn:ss";
    settings.TimeSeparator = ":";
  }
  return settings;
}

void AppendPatternLiteral(std::string& pattern, char c) {
  if (c == '/' || c == ':' || c == '\'' || c == '"' ||
      std::isalpha(static_cast<unsigned char>(c))) {
    pattern += '"';
    pattern += c;
    pattern += '"';
  } else {
    pattern += c;
  }
}

std::string PatternFromStrftime(std::string_view format, bool isTime, std::string* separator) {
  const char marker = isTime ? ':' : '/';
  std::string out;
  char sep = 0;  // an ASCII mark; bytes of other scripts are never one
  auto literal = [&out](char c) { AppendPatternLiteral(out, c); };
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      const char c = format[i];
      const bool ascii = static_cast<unsigned char>(c) < 0x80;
      if (sep == 0 && ascii && !std::isalnum(static_cast<unsigned char>(c)) && c != ' ') {
        sep = c;
        out += marker;
        continue;
      }
      if (c == sep) {
        out += marker;
        continue;
      }
      literal(c);
      continue;
    }
    char conversion = format[++i];
    while ((conversion == 'E' || conversion == 'O' || conversion == '-' || conversion == '_' ||
            conversion == '0') &&
           i + 1 < format.size())
      conversion = format[++i];
    switch (conversion) {
      case 'd':
        out += "dd";
        break;
      case 'e':
        out += "d";
        break;
      case 'm':
        out += "mm";
        break;
      case 'b':
      case 'h':
        out += "mmm";
        break;
      case 'B':
        out += "mmmm";
        break;
      case 'y':
        out += "yy";
        break;
      case 'Y':
        out += "yyyy";
        break;
      case 'H':
      case 'k':
        out += "hh";
        break;
      case 'I':
      case 'l':
        out += "hh";
        break;
      case 'M':
        out += "nn";
        break;
      case 'S':
        out += "ss";
        break;
      case 'p':
      case 'P':
        out += "ampm";
        break;
      case 'a':
        out += "ddd";
        break;
      case 'A':
        out += "dddd";
        break;
      case 'D':
        out += "mm/dd/yy";
        if (!sep) sep = '/';
        break;
      case 'F':
        out += "yyyy/mm/dd";
        if (!sep) sep = '-';
        break;
      case 'T':
        out += "hh:nn:ss";
        if (!sep) sep = ':';
        break;
      case 'R':
        out += "hh:nn";
        if (!sep) sep = ':';
        break;
      case 'r':
        out += "hh:nn:ss ampm";
        if (!sep) sep = ':';
        break;
      case '%':
        out += '%';
        break;
      default:
        break;
    }
  }
  if (separator != nullptr) *separator = std::string(1, sep != 0 ? sep : marker);
  return out;
}

}  // namespace kavrel
