// The INI reader on arbitrary text (UTF-8 with or without its mark, UTF-16LE
// with its mark): every name it lists is found again in any ASCII case, every
// value keeps to the length limit, and both what it writes of a value and its
// own text read back as they were read.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "IniDocument.h"
#include "Text.h"
#include "Unicode.h"

namespace {

using kavrel::TIniDocument;
using kavrel::fuzz::Check;

std::size_t CodePoints(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TIniDocument doc =
      TIniDocument::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  TIniDocument written;
  const TIniDocument reread = TIniDocument::Parse(doc.ToText());
  Check(reread.SectionNames() == doc.SectionNames(), "the text keeps the sections");
  for (const std::string& section : doc.SectionNames()) {
    Check(doc.SectionExists(kavrel::LowerCase(section)), "a section is found in any case");
    Check(reread.KeyNames(section) == doc.KeyNames(section), "the text keeps the keys");
    written.AddSection(section);
    for (const std::string& key : doc.KeyNames(section)) {
      const auto value = doc.Find(kavrel::UpperCase(section), kavrel::LowerCase(key));
      Check(value.has_value(), "a listed key is found in any case");
      Check(CodePoints(*value) <= TIniDocument::kMaxValueLength, "a value keeps to the limit");
      Check(reread.Find(section, key) == value, "the text reads back as read");
      const int number = doc.ReadInteger(section, key, -7);
      Check(number == kavrel::ParseInt32(*value).value_or(-7), "integers read as the text says");
      written.WriteString(section, key, *value);
    }
  }
  const TIniDocument rewritten = TIniDocument::Parse(written.ToText());
  for (const std::string& section : doc.SectionNames())
    for (const std::string& key : doc.KeyNames(section))
      Check(rewritten.Find(section, key) == doc.Find(section, key),
            "a written value reads back as written");
  return 0;
}
