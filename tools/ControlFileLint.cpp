#include "ControlFileLint.h"

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>
#include <set>

#include "CommandOperands.h"
#include "ControlFile.h"
#include "DateTime.h"
#include "Files.h"
#include "IniDocument.h"
#include "JsonText.h"
#include "Kavrel.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "Text.h"
#include "TextFile.h"
#include "Version.h"

namespace kavrel {

namespace {

enum class TKind { Text, Flag, Integer, Date, Time, Version, Checksum };

// Every key the engine reads, by section kind ("file" for each fileN,
// "whatsnew" and "eula" with any language suffix).
const std::map<std::string, std::map<std::string, TKind>>& KnownKeys() {
  static const std::map<std::string, std::map<std::string, TKind>> keys = {
      {"update",
       {{"signature", TKind::Text},
        {"date", TKind::Date},
        {"time", TKind::Time},
        {"unconditional", TKind::Flag},
        {"localversion", TKind::Text},
        {"newversion", TKind::Version},
        {"newsize", TKind::Integer},
        {"newchecksum", TKind::Checksum},
        {"descr", TKind::Text},
        {"sequence", TKind::Integer},
        {"expires", TKind::Text},
        {"product", TKind::Text}}},
      {"application",
       {{"appupdate", TKind::Flag},
        {"appname", TKind::Text},
        {"appparam", TKind::Text},
        {"appcomps", TKind::Text},
        {"silentrestart", TKind::Flag}}},
      {"action",
       {{"msg", TKind::Text},
        {"query", TKind::Text},
        {"htmldlg", TKind::Text},
        {"htmldlgsha256", TKind::Text},
        {"showurl", TKind::Text},
        {"runbefore", TKind::Text},
        {"runafter", TKind::Text},
        {"updateurl", TKind::Text}}},
      {"custom",
       {{"processmsg", TKind::Text},
        {"processparam", TKind::Text},
        {"validatemsg", TKind::Text},
        {"validateparam", TKind::Text}}},
      {"files", {{"count", TKind::Integer}}},
      {"file",
       {{"url", TKind::Text},
        {"localversion", TKind::Text},
        {"newversion", TKind::Version},
        {"newsize", TKind::Integer},
        {"newchecksum", TKind::Checksum},
        {"customversion", TKind::Text},
        {"date", TKind::Date},
        {"time", TKind::Time},
        {"descr", TKind::Text},
        {"targetdir", TKind::Text},
        {"compressed", TKind::Flag},
        {"filesize", TKind::Integer},
        {"mandatory", TKind::Flag},
        {"preselect", TKind::Flag},
        {"hidden", TKind::Flag},
        {"sha256", TKind::Text},
        {"size", TKind::Integer},
        {"fallback", TKind::Integer}}},
      {"whatsnew",
       {{"file", TKind::Text},
        {"caption", TKind::Text},
        {"okbtn", TKind::Text},
        {"cancelbtn", TKind::Text},
        {"sha256", TKind::Text}}},
      {"eula",
       {{"file", TKind::Text},
        {"caption", TKind::Text},
        {"okbtn", TKind::Text},
        {"accept", TKind::Text},
        {"notaccept", TKind::Text},
        {"sha256", TKind::Text}}},
  };
  return keys;
}

// The kind of a section by its name: "file" for "file12", "whatsnew" for
// "whatsnewDE"; its own name otherwise.
std::string SectionKind(const std::string& name, int* number = nullptr) {
  if (name.size() > 4 && name.starts_with("file") &&
      std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    if (number != nullptr) *number = ParseInt32(name.substr(4)).value_or(0);
    return "file";
  }
  for (const char* prefixed : {"whatsnew", "eula"})
    if (name.starts_with(prefixed)) return prefixed;
  return name;
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// ", did you mean X?" for the closest of the names, when one is close.
std::string Nearest(const std::string& name, const std::vector<std::string>& names) {
  std::string best;
  std::size_t distance = std::max<std::size_t>(2, name.size() / 3) + 1;
  for (const std::string& candidate : names)
    if (const std::size_t d = EditDistance(name, candidate); d < distance) {
      distance = d;
      best = candidate;
    }
  return best.empty() ? "" : " (did you mean \"" + best + "\"?)";
}

// A key as the file holds it: where it is and its value as read.
struct TKeyAt {
  int Line = 0;
  std::string Value;
};

class TLinter {
 public:
  TLinter(std::string_view text, const TLintOptions& options) : options_(options) {
    decoded_ = DecodeText(text);
    doc_ = TIniDocument::Parse(decoded_);
    Scan();
  }

  std::vector<TLintFinding> Run() {
    CheckValues();
    CheckFileList();
    CheckApplication();
    CheckTexts();
    CheckSigned();
    CheckLocations();
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const TLintFinding& a, const TLintFinding& b) { return a.Line < b.Line; });
    return findings_;
  }

 private:
  void Say(int line, bool error, std::string message) {
    findings_.push_back({line, error, std::move(message)});
  }
  std::optional<TKeyAt> Key(const std::string& section, const std::string& key) const {
    const auto s = keys_.find(section);
    if (s == keys_.end()) return std::nullopt;
    const auto k = s->second.find(key);
    if (k == s->second.end()) return std::nullopt;
    return k->second;
  }
  int SectionLine(const std::string& section) const {
    const auto s = sectionLines_.find(section);
    return s == sectionLines_.end() ? 0 : s->second;
  }

  // Walks the lines as the reader does, keeping where each section and key
  // stands; names and later duplicates that the engine never reads are said.
  void Scan() {
    std::vector<std::string> sectionNames;
    for (const auto& [kind, keys] : KnownKeys()) sectionNames.push_back(kind);
    std::string section;
    bool ignored = false;
    int line = 0;
    std::size_t pos = 0;
    std::string_view text = decoded_;
    while (pos <= text.size()) {
      std::size_t end = text.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = text.size();
      const std::string current = Trim(text.substr(pos, end - pos));
      ++line;
      pos = end + 1;
      if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
      if (current.empty() || current.front() == ';') continue;
      if (current.front() == '[') {
        const std::size_t close = current.find(']');
        section = LowerCase(
            Trim(current.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
        ignored = sectionLines_.count(section) != 0;
        if (ignored) {
          Say(line, false,
              "section [" + section + "] again: only the first one at line " +
                  std::to_string(sectionLines_[section]) + " is read");
          continue;
        }
        sectionLines_[section] = line;
        if (KnownKeys().count(SectionKind(section)) == 0)
          Say(line, false,
              "unknown section [" + section + "]" + Nearest(section, sectionNames) +
                  ": nothing in it is read");
        continue;
      }
      const std::size_t eq = current.find('=');
      if (section.empty() || ignored || eq == std::string::npos) {
        if (!ignored)
          Say(line, false,
              section.empty() ? "a line before the first section is not read"
                              : "a line without \"=\" is not read");
        continue;
      }
      const std::string key = LowerCase(Trim(current.substr(0, eq)));
      auto& keys = keys_[section];
      if (keys.count(key) != 0) {
        Say(line, false,
            "\"" + key + "\" again in [" + section + "]: only the first one at line " +
                std::to_string(keys[key].Line) + " is read");
        continue;
      }
      keys[key] = {line, doc_.ReadString(section, key, "")};
      const auto known = KnownKeys().find(SectionKind(section));
      if (known != KnownKeys().end() && known->second.count(key) == 0) {
        std::vector<std::string> names;
        for (const auto& [name, kind] : known->second) names.push_back(name);
        Say(line, false,
            "unknown key \"" + key + "\" in [" + section + "]" + Nearest(key, names) +
                ": it is not read");
      }
    }
  }

  void CheckValues() {
    TKavrel engine;  // the engine's own date and time settings
    for (const auto& [section, keys] : keys_) {
      const auto known = KnownKeys().find(SectionKind(section));
      if (known == KnownKeys().end()) continue;
      for (const auto& [key, at] : keys) {
        const auto kind = known->second.find(key);
        if (kind == known->second.end() || at.Value.empty()) continue;
        const std::string where = "\"" + key + "\" in [" + section + "]";
        const std::optional<std::int32_t> number = ParseInt32(at.Value);
        switch (kind->second) {
          case TKind::Flag:
            if (number != 0 && number != 1)
              Say(at.Line, true,
                  where + " is \"" + at.Value + "\", which reads as " +
                      (number == 1 ? "yes" : "no") + ": only 1 means yes, 0 no");
            break;
          case TKind::Integer:
          case TKind::Checksum:
            if (key == "sequence") {
              if (at.Value.find_first_not_of("0123456789") != std::string::npos)
                Say(at.Line, true, where + " is not a whole number: \"" + at.Value + "\"");
            } else if (!number) {
              Say(at.Line, true,
                  where + " is not a number the engine reads (\"" + at.Value +
                      "\"): it counts as not given");
            } else if (kind->second == TKind::Checksum && *number == -1) {
              Say(at.Line, false, where + " is -1, which means no checksum: nothing is compared");
            }
            break;
          case TKind::Date:
            if (!ParseControlDate(engine, at.Value, 2000))
              Say(at.Line, true,
                  where + " \"" + at.Value + "\" is no date in the form " + engine.DateFormat +
                      ": it reads as the default date");
            break;
          case TKind::Time:
            if (!ParseControlTime(engine, at.Value))
              Say(at.Line, true,
                  where + " \"" + at.Value + "\" is no time in the form " + engine.TimeFormat);
            break;
          case TKind::Version:
            if (!ParseVersion(at.Value).Valid())
              Say(at.Line, true, where + " \"" + at.Value + "\" is no version number");
            else if (at.Value.find_first_not_of("0123456789.,") != std::string::npos)
              Say(at.Line, false,
                  where + " \"" + at.Value + "\" reads as " +
                      VersionToText(ParseVersion(at.Value)));
            break;
          case TKind::Text:
            break;
        }
      }
    }
  }

  // The entries the engine reads: file1 up to "count".
  void CheckFileList() {
    const auto count = Key("files", "count");
    const int entries = count ? ParseInt32(count->Value).value_or(0) : 0;
    std::set<int> present;
    for (const auto& [section, line] : sectionLines_) {
      int number = 0;
      if (SectionKind(section, &number) != "file") continue;
      present.insert(number);
      if (number > entries || number < 1)
        Say(line, true,
            "[" + section + "] is not read: \"count\" in [files] is " + std::to_string(entries));
    }
    for (int n = 1; n <= std::min(entries, 10000); ++n)
      if (present.count(n) == 0)
        Say(count->Line, true,
            "\"count\" is " + std::to_string(entries) + " but there is no [file" +
                std::to_string(n) + "]: an empty entry");
    std::map<std::string, int> local;
    for (const int n : present) {
      if (n < 1 || n > entries) continue;
      const std::string section = "file" + std::to_string(n);
      const auto url = Key(section, "url");
      if (!url) {
        Say(SectionLine(section), true, "[" + section + "] has no \"url\"");
        continue;
      }
      names_[n] = std::string(platform::BaseName(url->Value));
      const auto target = Key(section, "targetdir");
      const std::string place =
          LowerCase((target ? target->Value : std::string()) + "\\" + names_[n]);
      if (const auto [other, fresh] = local.emplace(place, n); !fresh)
        Say(url->Line, true,
            "[" + section + "] and [file" + std::to_string(other->second) +
                "] fetch to the same place: " + names_[n]);
      if (const auto fallback = Key(section, "fallback")) {
        const int to = ParseInt32(fallback->Value).value_or(0);
        if (to < 1 || to > entries || present.count(to) == 0 || to == n)
          Say(fallback->Line, true, "\"fallback\" names no other entry: " + fallback->Value);
        else if (!EndsWithText(names_[n], ".pat"))
          Say(fallback->Line, false, "\"fallback\" only counts for a patch (a \".pat\" entry)");
      }
      // A patch fetched where the file is new already fails every time.
      if (EndsWithText(names_[n], ".pat") && !Key(section, "newchecksum") &&
          !Key(section, "newversion") && !Key(section, "date"))
        Say(url->Line, false,
            "the patch of [" + section +
                "] has no \"newchecksum\", \"newversion\" or \"date\": a machine whose file is "
                "new already fetches it, and it fails");
    }
  }

  void CheckApplication() {
    const auto update = Key("application", "appupdate");
    const auto name = Key("application", "appname");
    if (update && update->Value == "1" && (!name || name->Value.empty()))
      Say(update->Line, true, "\"appupdate\" without \"appname\": no program to restart");
    const auto comps = Key("application", "appcomps");
    if (!comps) return;
    const std::vector<std::string> components = SplitBlanks(comps->Value);
    std::set<std::string> delivered;
    for (const auto& [n, file] : names_) delivered.insert(LowerCase(file));
    for (const std::string& component : components) {
      if (delivered.count(LowerCase(component)) == 0)
        Say(comps->Line, true, "component \"" + component + "\" is delivered by no entry");
      for (const std::string& other : components)
        if (other != component && PosNoCase(component, other) > 0)
          Say(comps->Line, false,
              "component \"" + component + "\" occurs inside \"" + other +
                  "\": entries are taken for components by a part of the list");
    }
    // An entry whose name occurs anywhere in the list is handled as a component.
    for (const auto& named : names_) {
      // Plain names: a lambda below captures them.
      const int n = named.first;
      const std::string& file = named.second;
      const bool listed = std::any_of(components.begin(), components.end(),
                                      [&](const std::string& c) { return SameText(c, file); });
      if (!listed && !file.empty() && PosNoCase(file, comps->Value) > 0)
        Say(Key("file" + std::to_string(n), "url")->Line, true,
            "\"" + file + "\" occurs inside \"appcomps\": it would be left for the updater stub");
    }
  }

  void CheckTexts() {
    for (const auto& [section, line] : sectionLines_) {
      const std::string kind = SectionKind(section);
      if (kind != "whatsnew" && kind != "eula") continue;
      const auto file = Key(section, "file");
      if (file && SameText(platform::BaseName(file->Value), options_.FileName))
        Say(file->Line, true,
            "the text of [" + section + "] has the control file's own name, " + options_.FileName +
                ": it would take the control file's place");
    }
  }

  // A signed site ("sequence" given) needs a hash and size for everything a
  // machine fetches besides the control file.
  void CheckSigned() {
    if (!Key("update", "sequence")) return;
    for (const auto& [n, file] : names_) {
      const std::string section = "file" + std::to_string(n);
      for (const char* key : {"sha256", "size"})
        if (!Key(section, key))
          Say(SectionLine(section), true,
              "[" + section + "] of a signed file has no \"" + key + "\": it is never installed");
    }
    for (const auto& [section, line] : sectionLines_) {
      const std::string kind = SectionKind(section);
      if ((kind == "whatsnew" || kind == "eula") && Key(section, "file") && !Key(section, "sha256"))
        Say(line, true,
            "[" + section + "] of a signed file has no \"sha256\": its text is left out");
    }
    if (Key("action", "htmldlg") && !Key("action", "htmldlgsha256"))
      Say(Key("action", "htmldlg")->Line, true,
          "\"htmldlg\" of a signed file without \"htmldlgsha256\": the page is not shown");
  }

  void CheckLocations() {
    if (!StartsWithText(options_.Address, "https://")) return;
    for (const auto& [section, keys] : keys_)
      for (const auto& [key, at] : keys)
        if ((key == "url" || key == "file" || key == "updateurl") &&
            StartsWithText(at.Value, "http://"))
          Say(at.Line, true,
              "\"" + key + "\" in [" + section +
                  "] is plain http in a control file served over https");
  }

  static std::vector<std::string> SplitBlanks(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < text.size()) {
      while (i < text.size() && text[i] == ' ') ++i;
      const std::size_t start = i;
      while (i < text.size() && text[i] != ' ') ++i;
      if (i > start) parts.push_back(text.substr(start, i - start));
    }
    return parts;
  }
  static bool EndsWithText(const std::string& text, std::string_view end) {
    return text.size() >= end.size() && SameText(text.substr(text.size() - end.size()), end);
  }
  static bool StartsWithText(const std::string& text, std::string_view start) {
    return text.size() >= start.size() && SameText(text.substr(0, start.size()), start);
  }

  TLintOptions options_;
  std::string decoded_;
  TIniDocument doc_;
  std::map<std::string, int> sectionLines_;
  std::map<std::string, std::map<std::string, TKeyAt>> keys_;
  std::map<int, std::string> names_;  // entry number: the file name it fetches
  std::vector<TLintFinding> findings_;
};

}  // namespace

std::vector<TLintFinding> LintControlFile(std::string_view text, const TLintOptions& options) {
  return TLinter(text, options).Run();
}

int LintCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> rest;
  bool json = false;
  for (const std::string& arg : args) {
    if (arg == "--format=json")
      json = true;
    else
      rest.push_back(arg);
  }
  TLintOptions options;
  std::vector<std::string> operands;
  if (!TakeOperands(rest, 1, "kavrel lint [--format=json] [--url ADDRESS] CONTROLFILE", err,
                    operands, {}, {{"--url", &options.Address}}))
    return 2;
  const auto text = platform::ReadWholeFile(operands[0], TControlFile::kMaxSize + 1);
  if (!text) {
    err << "kavrel: cannot read " << operands[0] << '\n';
    return 1;
  }
  options.FileName = std::string(platform::BaseName(operands[0]));
  std::vector<TLintFinding> findings;
  if (text->size() > TControlFile::kMaxSize)
    findings.push_back({0, true, "larger than any control file a machine reads (16 MiB)"});
  else
    findings = LintControlFile(*text, options);
  bool error = false;
  if (json) out << "[";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const TLintFinding& f = findings[i];
    error = error || f.Error;
    if (json)
      out << (i == 0 ? "" : ",") << "\n  {\"line\": " << f.Line << ", \"severity\": \""
          << (f.Error ? "error" : "warning") << "\", \"message\": " << JsonText(f.Message) << "}";
    else
      out << operands[0] << ':' << f.Line << ": " << (f.Error ? "error" : "warning") << ": "
          << f.Message << '\n';
  }
  if (json) out << (findings.empty() ? "]\n" : "\n]\n");
  return error ? 1 : 0;
}

}  // namespace kavrel
