// A moment of the system clock as a local date-time.
#pragma once

#include <time.h>

#include <optional>

#include "DateTime.h"

namespace kavrel::platform {

// Nothing when the moment cannot be turned into local time. A leap second
// counts as the second before it.
inline std::optional<TDateTime> ToLocalDateTime(const timespec& moment) {
  tm local{};
  if (::localtime_r(&moment.tv_sec, &local) == nullptr) return std::nullopt;
  TDateParts parts;
  parts.Year = local.tm_year + 1900;
  parts.Month = local.tm_mon + 1;
  parts.Day = local.tm_mday;
  parts.Hour = local.tm_hour;
  parts.Minute = local.tm_min;
  parts.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
  parts.Millisecond = static_cast<int>(moment.tv_nsec / 1000000);
  return EncodeDateTime(parts);
}

}  // namespace kavrel::platform
