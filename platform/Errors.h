// Errors the platform raises instead of returning: the engine lets them reach
// the caller of a run, as input/output errors of the file or registry at hand.
#pragma once

#include <stdexcept>
#include <string>

namespace kavrel::platform {

class EInOutError : public std::runtime_error {
 public:
  EInOutError(const std::string& what, int errorCode)
      : std::runtime_error(what), ErrorCode(errorCode) {}
  int ErrorCode;  // the system's error number
};

// The calling thread's last error, as system calls leave it and as the
// engine records the outcome of a program it ran.
int GetLastError();
void SetLastError(int errorCode);

// Text of a system error number, as the system words it.
std::string SystemErrorText(int errorCode);

}  // namespace kavrel::platform
