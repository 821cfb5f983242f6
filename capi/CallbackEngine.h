// The engine behind a handle of the C interface: its status messages,
// progress, questions and dialogs go to the host's callbacks, and a cancel
// the host asks for reaches the run wherever it is.
#pragma once

#include <atomic>
#include <string>

// The engine by its folder: to a file system without case, "Kavrel.h" is
// also the name of the C interface's header.
#include "engine/Kavrel.h"
#include "kavrel.h"

namespace kavrel::capi {

// A host's function and the context it gets back.
template <typename Function>
struct TCallback {
  Function Call = nullptr;
  void* Context = nullptr;
};

struct TStatusRecord {
  int Id = 0;  // none yet
  std::string Text;
  int Status = 0;
  int Error = 0;
};

class TCallbackEngine : public TKavrel {
 public:
  TCallbackEngine();
  void ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) override;

  // One run with the host's callbacks answering; how it ended, as `kavrel
  // run` exits.
  int Run();
  // The restart handoff; whether a stub of this run has started.
  bool HandOver();
  bool HandedOver() const { return handedOver_; }
  bool HasRun() const { return hasRun_; }
  // Safe from any thread: the run notices at its next status message,
  // transfer block or wait.
  void Cancel() { cancelRequested_ = true; }
  // Makes a cancel asked for meanwhile the run's own.
  void TakeCancel();
  const TStatusRecord& LastStatus() const { return last_; }

  void SetStatusCallback(TCallback<kavrel_status_fn> callback);
  TCallback<kavrel_progress_fn> Progress;
  TCallback<kavrel_message_box_fn> MessageBox;
  TCallback<kavrel_login_fn> Login;
  TCallback<kavrel_text_fn> WhatsNew;
  TCallback<kavrel_text_fn> License;
  TCallback<kavrel_close_fn> Close;

 private:
  TCallback<kavrel_status_fn> status_;
  TKavrelUtility utility_;
  TStatusRecord last_;
  std::atomic<bool> cancelRequested_ = false;
  bool handedOver_ = false;
  bool hasRun_ = false;
};

}  // namespace kavrel::capi
