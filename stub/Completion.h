// How the stub ends an update: every step done, it restarts the application
// and, where the publisher asks for a health check, watches it through its
// first seconds; the update is completed (the backups go) or rolled back (every
// journalled file put back, the old version started, the update marked so
// that no run applies it again by itself).
#pragma once

#include <string>
#include <vector>

#include "UpdateJournal.h"

namespace kavrel::stub {

struct TRestart {
  std::string Application;  // "null": none
  std::string Parameters;   // one argument; a single blank for none
  int HealthSeconds = 0;    // 0: no health check
  bool Confirm = false;     // the application must confirm its start within them
};

// Ends the update after its steps; `failure` says why a step failed (empty
// when none did).
void EndUpdate(TUpdateJournal& journal, const std::string& failure, const TRestart& restart,
               bool logging);

}  // namespace kavrel::stub
