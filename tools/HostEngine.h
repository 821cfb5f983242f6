// The engine as the command line hosts it: every status message is printed on
// the standard output as it is reported, in the form of the log line without
// its time stamp, or as one JSON object a line; or nothing at all.
#pragma once

#include <iosfwd>
#include <optional>

#include "HostOptions.h"
#include "Kavrel.h"
#include "ProgressLine.h"

namespace kavrel {

class THostEngine : public TKavrel {
 public:
  // The host carries the patch utility, and writes it out for a run that
  // applies patches. With `ShowProgress` (a terminal) each transfer draws a
  // progress line.
  explicit THostEngine(std::ostream& out, TOutputForm Form = TOutputForm::Lines,
                       bool ShowProgress = false);
  void ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) override;

  // Opens the session as a run does, fetches one location into a folder with
  // DownloadFile and closes the session. True when the file was fetched.
  bool Fetch(const std::string& Location, const std::string& TargetDir);

  // Ends the output of a command with its exit status: in JSON the summary
  // object, naming the outcome and the error that ended it when one did.
  void Finish(int Status, const char* Outcome, const std::string& Error = "");

 private:
  std::ostream& out_;
  TOutputForm form_;
  TKavrelUtility utility_;
  std::optional<TProgressLine> progress_;
  int messages_ = 0;
};

// The name of a run's exit status in the JSON summary: "updated", "failed",
// "usage", "cancelled", "refused" or "no-update".
const char* RunStatusName(int Status);

}  // namespace kavrel
