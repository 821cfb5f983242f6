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
// The error the last failed system call of this thread left (errno on POSIX
// systems, the thread's last error on Windows).
int LastSystemError();

// The errors the engine raises itself or tells apart, whose numbers differ
// between the systems.
enum class TErrorKind { NotFound, AlreadyExists, AccessDenied, InvalidArgument, InOut, WouldBlock };
// This system's number for the error.
int ErrorNumber(TErrorKind kind);
// True when the number is one of this system's numbers for the error.
bool IsErrorKind(int errorCode, TErrorKind kind);

}  // namespace kavrel::platform
