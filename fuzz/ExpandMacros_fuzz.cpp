// Path macros through the engine: the input's lines before the last define
// macros of their own as NAME=value (an engine that adds macros overrides
// LookupMacro that way), the last line is the text. The folder macros WIN and
// SYS name each other, so that a text can never be expanded completely; the
// expansion must still end soon with a text of bounded length.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "FuzzSupport.h"
#include "Kavrel.h"
#include "PathHelpers.h"
#include "Text.h"

namespace {

using kavrel::fuzz::Check;

// How far past its bound an expanded text may have grown: the bound, plus one
// value inserted last.
constexpr std::size_t kExpansionBound = 32768;

class TMacroEngine final : public kavrel::TKavrel {
 public:
  std::map<std::string, std::string> Macros;
  void LookupMacro(const std::string& Name, std::string& Value) override {
    const auto found = Macros.find(Name);
    if (found != Macros.end())
      Value = found->second;
    else
      TKavrel::LookupMacro(Name, Value);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::setenv("KAVREL_WINDIR", "/kavrel/{SYS}/windows", 1);
  ::setenv("KAVREL_SYSDIR", "/kavrel/{win}{Win}/system", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TMacroEngine engine;
  engine.Macros.clear();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t longestValue = 64 + kavrel::fuzz::Scratch().size();  // the folder macros
  for (std::size_t end; (end = input.find('\n')) != std::string_view::npos;) {
    const std::string_view line = input.substr(0, end);
    input.remove_prefix(end + 1);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string value(line.substr(eq + 1));
    engine.Macros.emplace(kavrel::UpperCase(line.substr(0, eq)), value);
    longestValue = std::max(longestValue, value.size());
  }
  const std::string text(input);

  const std::string expanded = engine.ExpandMacros(text);
  Check(expanded.size() <= std::max(text.size(), kExpansionBound + longestValue),
        "the expansion is bounded");
  if (text.find('{') == std::string::npos || text.find('}') == std::string::npos)
    Check(expanded == text, "a text without macros stays");

  // Without any value for any name the text stays as it is.
  const std::string untouched =
      kavrel::ExpandBracedMacros(text, [](const std::string&) { return std::string(); });
  Check(untouched == text, "macros without values stay");
  return 0;
}
