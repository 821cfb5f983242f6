// The engine as the command line hosts it: every status message is printed on
// the standard output as it is reported, in the form of the log line without
// its time stamp.
#pragma once

#include <iosfwd>

#include "Kavrel.h"

namespace kavrel {

class THostEngine : public TKavrel {
 public:
  // The host carries the patch utility, and writes it out for a run that
  // applies patches.
  explicit THostEngine(std::ostream& out) : out_(out) { SetUtility(&utility_); }
  void ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) override;

  // Opens the session as a run does, fetches one location into a folder with
  // DownloadFile and closes the session. True when the file was fetched.
  bool Fetch(const std::string& Location, const std::string& TargetDir);

 private:
  std::ostream& out_;
  TKavrelUtility utility_;
};

}  // namespace kavrel
