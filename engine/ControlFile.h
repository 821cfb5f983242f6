// One reading of the local copy of an update control file: the file is read
// once when the object is made, and the typed readers apply the value kinds of
// the control-file format with their defaults.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "DateTime.h"
#include "IniDocument.h"
#include "Version.h"

namespace kavrel {

class TKavrel;

class TControlFile {
 public:
  // A file that cannot be read reads as an empty one: every key has its default.
  // So does a file larger than kMaxSize: it comes from outside, and no real
  // control file is anywhere near that size.
  static constexpr std::size_t kMaxSize = 16 * 1024 * 1024;
  explicit TControlFile(std::string_view path);

  // text: the value as stored.
  std::string ReadText(std::string_view section, std::string_view key,
                       std::string_view defaultValue = "") const;
  // path: text with its macros expanded by the engine.
  std::string ReadPath(TKavrel& engine, std::string_view section, std::string_view key) const;
  // message: text in which every "\n" becomes a carriage return.
  std::string ReadMessage(std::string_view section, std::string_view key) const;
  // integer: signed 32-bit, decimal or hexadecimal after "$" or "0x".
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
  // flag: an integer that is true exactly when it is 1.
  bool ReadFlag(std::string_view section, std::string_view key, bool defaultValue) const;
  // trigger: any non-empty value, "0" included.
  bool ReadTrigger(std::string_view section, std::string_view key) const;
  // date: nothing when absent; 1 January 1980 when present but unreadable.
  std::optional<TDateTime> ReadDate(const TKavrel& engine, std::string_view section,
                                    std::string_view key) const;
  // time: nothing when absent or unreadable.
  std::optional<std::chrono::milliseconds> ReadTime(const TKavrel& engine, std::string_view section,
                                                    std::string_view key) const;
  // version: all-ones words when absent or not a version.
  TVersionWords ReadVersion(std::string_view section, std::string_view key) const;

 private:
  TIniDocument doc_;
};

// A control-file date with the engine's date settings, or nothing when it
// cannot be read; `currentYear` completes dates without a year.
std::optional<TDateTime> ParseControlDate(const TKavrel& engine, std::string_view text,
                                          int currentYear);
std::optional<std::chrono::milliseconds> ParseControlTime(const TKavrel& engine,
                                                          std::string_view text);

}  // namespace kavrel
