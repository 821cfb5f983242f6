// Version texts from control files: ParseVersion on arbitrary text, with the
// properties every result must have.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "Version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const kavrel::TVersionWords words = kavrel::ParseVersion(text);
  // A valid version reads back the same from its printed form.
  if (words.Valid() && kavrel::ParseVersion(kavrel::VersionToText(words)) != words) std::abort();
  // Commas and full stops are the same separator when only one kind is used.
  if (text.find(',') == std::string::npos) {
    std::string commas = text;
    std::replace(commas.begin(), commas.end(), '.', ',');
    if (kavrel::ParseVersion(commas) != words) std::abort();
  }
  return 0;
}
