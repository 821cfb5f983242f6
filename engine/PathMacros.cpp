// The macros {WIN}, {SYS}, {APP}, {TMP}, {DOC} and {PF} of control-file paths.
#include "Kavrel.h"
#include "PathHelpers.h"

namespace kavrel {

std::string TKavrel::ExpandMacros(std::string Text) {
  if (OnConvertPrefix) OnConvertPrefix(*this, Text);
  return ExpandBracedMacros(std::move(Text), [this](const std::string& name) {
    std::string value;
    LookupMacro(name, value);
    return value;
  });
}

void TKavrel::LookupMacro(const std::string& Name, std::string& Value) {
  // An unknown name, or a folder that cannot be determined, leaves the value
  // as it was given.
  const std::string value = FolderMacroValue(Name);
  if (!value.empty()) Value = value;
}

}  // namespace kavrel
