#include "IniDocument.h"

#include "Text.h"
#include "Unicode.h"

namespace kavrel {

namespace {

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return std::string(value.substr(1, value.size() - 2));
  return std::string(value);
}

}  // namespace

TIniDocument TIniDocument::Parse(std::string_view text) {
  std::string converted;
  if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') {
    converted = Utf16LeToUtf8(text.substr(2));
    text = converted;
  } else if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }

  TIniDocument doc;
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimView(text.substr(pos, end - pos));
    pos = end + 1;
    if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string name = Trim(
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      // A later section of the same name is not read: the first one wins.
      current = nullptr;
      if (doc.FindSection(name) == nullptr) {
        doc.sections_.push_back(Section{name, {}});
        current = &doc.sections_.back();
      }
      continue;
    }
    const std::size_t eq = line.find('=');
    if (current == nullptr || eq == std::string_view::npos) continue;
    current->entries.push_back(Entry{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))});
  }
  return doc;
}

const TIniDocument::Section* TIniDocument::FindSection(std::string_view name) const {
  for (const Section& s : sections_)
    if (SameText(s.name, name)) return &s;
  return nullptr;
}

TIniDocument::Section* TIniDocument::FindSection(std::string_view name) {
  for (Section& s : sections_)
    if (SameText(s.name, name)) return &s;
  return nullptr;
}

bool TIniDocument::SectionExists(std::string_view section) const {
  return FindSection(section) != nullptr;
}

std::optional<std::string> TIniDocument::Find(std::string_view section,
                                              std::string_view key) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return std::nullopt;
  for (const Entry& e : s->entries)
    if (SameText(e.key, key)) return TruncateCodePoints(Unquote(e.value), kMaxValueLength);
  return std::nullopt;
}

std::string TIniDocument::ReadString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
  if (auto v = Find(section, key)) return *v;
  return std::string(defaultValue);
}

int TIniDocument::ReadInteger(std::string_view section, std::string_view key,
                              int defaultValue) const {
  const auto v = Find(section, key);
  if (!v) return defaultValue;
  return ParseInt32(*v).value_or(defaultValue);
}

std::vector<std::string> TIniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.name);
  return names;
}

std::vector<std::string> TIniDocument::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  if (const Section* s = FindSection(section))
    for (const Entry& e : s->entries) names.push_back(e.key);
  return names;
}

// A value that reading would change (blanks at its ends, enclosing quotes) is
// stored inside one more pair of quotes, so that it reads back as written.
// A line break would end the value and start a line of its own: it is
// stored as a blank.
static std::string StoredForm(std::string_view text) {
  std::string value(text);
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  const bool blankEnds = !value.empty() && (TrimView(value).size() != value.size());
  if (blankEnds || Unquote(value).size() != value.size()) return "\"" + value + "\"";
  return value;
}

void TIniDocument::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  const std::string stored = StoredForm(value);
  Section* s = FindSection(section);
  if (s == nullptr) {
    sections_.push_back(Section{std::string(section), {}});
    s = &sections_.back();
  }
  for (Entry& e : s->entries) {
    if (SameText(e.key, key)) {
      e.value = stored;
      return;
    }
  }
  s->entries.push_back(Entry{std::string(key), stored});
}

void TIniDocument::AddSection(std::string_view section) {
  if (FindSection(section) == nullptr) sections_.push_back(Section{std::string(section), {}});
}

void TIniDocument::DeleteKey(std::string_view section, std::string_view key) {
  Section* s = FindSection(section);
  if (s == nullptr) return;
  std::erase_if(s->entries, [&](const Entry& e) { return SameText(e.key, key); });
}

std::string TIniDocument::ToText() const {
  std::string out;
  for (const Section& s : sections_) {
    out += "[" + s.name + "]\r\n";
    for (const Entry& e : s.entries) out += e.key + "=" + e.value + "\r\n";
    out += "\r\n";
  }
  return out;
}

}  // namespace kavrel
