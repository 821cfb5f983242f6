#include "ControlFile.h"

#include "Files.h"
#include "Kavrel.h"
#include "System.h"
#include "Text.h"
#include "TextFile.h"

namespace kavrel {

// A control file written on Windows may be in its 8-bit code page, or UTF-16:
// every text it holds reaches windows, paths and logs as UTF-8.
TControlFile::TControlFile(std::string_view path)
    : doc_(TIniDocument::Parse(DecodeText(platform::ReadWholeFile(path, kMaxSize).value_or("")))) {}

std::string TControlFile::ReadText(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const {
  return doc_.ReadString(section, key, defaultValue);
}

std::string TControlFile::ReadPath(TKavrel& engine, std::string_view section,
                                   std::string_view key) const {
  return engine.ExpandMacros(ReadText(section, key));
}

std::string TControlFile::ReadMessage(std::string_view section, std::string_view key) const {
  return ExpandLineBreaks(ReadText(section, key));
}

int TControlFile::ReadInteger(std::string_view section, std::string_view key,
                              int defaultValue) const {
  return doc_.ReadInteger(section, key, defaultValue);
}

bool TControlFile::ReadFlag(std::string_view section, std::string_view key,
                            bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) == 1;
}

bool TControlFile::ReadTrigger(std::string_view section, std::string_view key) const {
  return !ReadText(section, key).empty();
}

std::optional<TDateTime> TControlFile::ReadDate(const TKavrel& engine, std::string_view section,
                                                std::string_view key) const {
  const std::string text = ReadText(section, key);
  if (text.empty()) return std::nullopt;
  const int year = DecodeDateTime(platform::LocalNow()).Year;
  return ParseControlDate(engine, text, year).value_or(DefaultControlDate());
}

std::optional<std::chrono::milliseconds> TControlFile::ReadTime(const TKavrel& engine,
                                                                std::string_view section,
                                                                std::string_view key) const {
  return ParseControlTime(engine, ReadText(section, key));
}

TVersionWords TControlFile::ReadVersion(std::string_view section, std::string_view key) const {
  return ParseVersion(ReadText(section, key));
}

std::optional<TDateTime> ParseControlDate(const TKavrel& engine, std::string_view text,
                                          int currentYear) {
  return ParseDate(text, engine.DateFormat, engine.DateSeparator, currentYear);
}

std::optional<std::chrono::milliseconds> ParseControlTime(const TKavrel& engine,
                                                          std::string_view text) {
  if (TrimView(text).empty()) return std::nullopt;
  return ParseTime(text, engine.TimeSeparator, platform::UserFormatSettings());
}

TDateTime TKavrel::ParseControlDateTime(const std::string& DateText,
                                        const std::string& TimeText) const {
  TDateTime value = DefaultControlDate();
  const int year = DecodeDateTime(platform::LocalNow()).Year;
  if (auto date = ParseControlDate(*this, DateText, year)) value = *date;
  if (!TimeText.empty())
    if (auto time = ParseControlTime(*this, TimeText)) value += *time;
  return value;
}

}  // namespace kavrel
