// The typed readers of control-file values on an arbitrary file: the first
// three bytes choose the engine's date order and its date and time separators,
// the rest is the control file. Every key of every section is read as each
// kind of value.
#include <chrono>
#include <cstdint>
#include <string>

#include "ControlFile.h"
#include "FuzzSupport.h"
#include "IniDocument.h"
#include "Kavrel.h"
#include "TextFile.h"

namespace {

using kavrel::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  static constexpr const char* kFormats[] = {"dd/mm/yyyy", "mm/dd/yyyy", "yyyy/mm/dd", "d.m.yy"};
  static kavrel::TKavrel engine;
  engine.DateFormat = kFormats[data[0] % 4];
  engine.DateSeparator = static_cast<char>(data[1]);
  engine.TimeSeparator = static_cast<char>(data[2]);
  const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);
  const std::string path = kavrel::fuzz::Scratch() + "/update.inf";
  kavrel::fuzz::WriteWholeFile(path, text);

  const kavrel::TControlFile control(path);
  // The file is read as text whatever its encoding: as that text, decoded.
  const kavrel::TIniDocument doc = kavrel::TIniDocument::Parse(kavrel::DecodeText(text));
  for (const std::string& section : doc.SectionNames()) {
    for (const std::string& key : doc.KeyNames(section)) {
      const std::string value = control.ReadText(section, key, "-");
      Check(doc.Find(section, key) == value, "the file reads as its text");
      const std::string message = control.ReadMessage(section, key);
      Check(message.find("\\n") == std::string::npos, "every line break escape is replaced");
      (void)control.ReadInteger(section, key, 0);
      (void)control.ReadFlag(section, key, true);
      Check(control.ReadTrigger(section, key) == !value.empty(), "any value is a trigger");
      if (const auto date = control.ReadDate(engine, section, key)) {
        const kavrel::TDateParts parts = kavrel::DecodeDateTime(*date);
        Check(parts.Year >= 1 && parts.Year <= 9999 && parts.Hour == 0, "a date is a day");
      } else {
        Check(value.empty(), "only an empty value has no date");
      }
      if (const auto time = control.ReadTime(engine, section, key))
        Check(time->count() >= 0 && *time < std::chrono::hours{24}, "a time is within a day");
      (void)control.ReadVersion(section, key);
      const std::string folder = control.ReadPath(engine, section, key);
      if (value.find('{') == std::string::npos)
        Check(folder == value, "a path without macros stays");
    }
  }
  return 0;
}
