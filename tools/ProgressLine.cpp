#include "ProgressLine.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "PathNames.h"

namespace kavrel {

namespace {

std::string Bytes(double value) {
  static const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string Duration(double seconds) {
  const long long s = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

}  // namespace

std::string TProgressLine::Format(const std::string& Name, std::int64_t Received, std::int64_t Size,
                                  double Seconds) {
  std::string name(platform::BaseName(Name));
  if (name.size() > 28) name = name.substr(0, 27) + "~";
  std::string line = name + "  " + Bytes(static_cast<double>(Received));
  if (Size > 0) line += " of " + Bytes(static_cast<double>(Size));
  if (Seconds > 0.05) {
    const double rate = static_cast<double>(Received) / Seconds;
    line += "  " + Bytes(rate) + "/s";
    if (Size > 0 && rate > 0 && Received < Size)
      line += "  " + Duration(static_cast<double>(Size - Received) / rate) + " left";
  }
  return line;
}

void TProgressLine::Update(const std::string& Name, int Pos, int Size, TClock::time_point Now) {
  const auto low = static_cast<std::uint32_t>(Pos);
  if (Name != name_ || (received_ > 0 && low == 0)) {
    name_ = Name;
    received_ = 0;
    lastLow_ = 0;
    started_ = Now;
    drawn_ = {};
  }
  // The position counts on where the 32 bits wrapped.
  received_ += static_cast<std::uint32_t>(low - lastLow_);
  lastLow_ = low;
  const std::int64_t size = Size > 0 ? Size : -1;
  const bool last = size > 0 && received_ >= size;
  if (!last && Now - drawn_ < std::chrono::milliseconds(200)) return;
  drawn_ = Now;
  const std::string line =
      Format(Name, received_, size, std::chrono::duration<double>(Now - started_).count());
  // Padded over what the longer line before it left.
  out_ << '\r' << line;
  if (line.size() < shown_) out_ << std::string(shown_ - line.size(), ' ');
  out_ << std::flush;
  shown_ = std::max(shown_, line.size());
}

void TProgressLine::Clear() {
  if (shown_ == 0) return;
  out_ << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
  shown_ = 0;
}

}  // namespace kavrel
