// kvsetup.exe, the updater stub: completes an update once the application
// has closed, then starts it again. It has no window; nobody reads its exit
// code.
#include <exception>

#include "Processes.h"
#include "StubMain.h"

int main(int argc, char** argv) {
  try {
    return kavrel::stub::RunStub(kavrel::platform::ParameterText(argc, argv));
  } catch (const std::exception&) {
    // A log line that cannot be written ends the stub; what is done stays done.
    return 1;
  }
}
