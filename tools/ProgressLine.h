// The line a terminal shows while a file is transferred: its name, the bytes
// so far of how many, the rate and the time left. Drawn over itself with a
// carriage return, at most a few times a second, and wiped before anything
// else is printed.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace kavrel {

class TProgressLine {
 public:
  using TClock = std::chrono::steady_clock;
  explicit TProgressLine(std::ostream& out) : out_(out) {}

  // A transfer's progress as the engine reports it: 32-bit positions and
  // sizes, which wrap for files past 4 GiB; a size of 0 or less is unknown.
  void Update(const std::string& Name, int Pos, int Size, TClock::time_point Now = TClock::now());
  // Removes the line, so that the next output starts on a clean line.
  void Clear();

  // The line's text for `Received` of `Size` bytes (-1: unknown) after `Seconds`.
  static std::string Format(const std::string& Name, std::int64_t Received, std::int64_t Size,
                            double Seconds);

 private:
  std::ostream& out_;
  std::string name_;
  std::uint32_t lastLow_ = 0;
  std::int64_t received_ = 0;
  TClock::time_point started_{};
  TClock::time_point drawn_{};
  std::size_t shown_ = 0;  // characters of the line on the terminal
};

}  // namespace kavrel
