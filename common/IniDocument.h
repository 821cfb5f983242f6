// INI text with the profile rules the system's files are written for: section
// and key names match without regard to ASCII case, blanks around names and
// values are dropped, one pair of enclosing quotes is dropped from a value, a
// value is at most 2047 characters, and the first of duplicate sections or keys
// wins. Parsing and writing only; reading and writing files is the caller's.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel {

class TIniDocument {
 public:
  static constexpr std::size_t kMaxValueLength = 2047;

  TIniDocument() = default;
  // Accepts UTF-8 with or without a byte-order mark, and UTF-16LE with its mark.
  static TIniDocument Parse(std::string_view text);

  bool SectionExists(std::string_view section) const;
  // The value as the profile rules read it, or nothing when the key is absent.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // Decimal, or hexadecimal after "$" or "0x"; anything else reads as the default.
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
  std::vector<std::string> SectionNames() const;
  std::vector<std::string> KeyNames(std::string_view section) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Adds an empty section unless one of that name exists.
  void AddSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view key);
  // The whole document with CR LF line ends.
  std::string ToText() const;

 private:
  struct Entry {
    std::string key;
    std::string value;  // as stored, before the reading rules
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Section* FindSection(std::string_view name) const;
  Section* FindSection(std::string_view name);

  std::vector<Section> sections_;
};

}  // namespace kavrel
