// Control-file dates and times: ParseDate and ParseTime on arbitrary text with
// date order, separators and year taken from the input's first bytes.
#include <cstdlib>
#include <string_view>

#include "DateTime.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  static constexpr const char* kFormats[] = {"dd/mm/yyyy", "mm/dd/yyyy", "yyyy/mm/dd", ""};
  const char* format = kFormats[data[0] % 4];
  const std::string_view dateSeparator(reinterpret_cast<const char*>(data + 1), 1);
  const std::string_view timeSeparator(reinterpret_cast<const char*>(data + 2), 1);
  const int currentYear = 1900 + data[3];
  const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);

  if (const auto date = kavrel::ParseDate(text, format, dateSeparator, currentYear)) {
    const kavrel::TDateParts parts = kavrel::DecodeDateTime(*date);
    if (parts.Year < 1 || parts.Year > 9999 || parts.Hour != 0) std::abort();
  }
  if (const auto time = kavrel::ParseTime(text, timeSeparator)) {
    if (time->count() < 0 || *time >= std::chrono::hours{24}) std::abort();
  }
  return 0;
}
