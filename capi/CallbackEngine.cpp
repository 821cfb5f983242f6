#include "CallbackEngine.h"

#include "CallbackInterface.h"
#include "StatusMessages.h"
#include "Text.h"

namespace kavrel::capi {

TCallbackEngine::TCallbackEngine() {
  // The library carries the patch utility, as the programs do.
  SetUtility(&utility_);
  OnFileProgress = [this](TKavrel&, const std::string& FileName, int Pos, int Size) {
    if (Progress.Call != nullptr) Progress.Call(Progress.Context, FileName.c_str(), Pos, Size);
  };
  OnProgressCancel = [this](TKavrel&, bool& Cancel) { Cancel = Cancel || cancelRequested_; };
  OnAppDoClose = [this](TKavrel&) {
    handedOver_ = true;
    if (Close.Call != nullptr) Close.Call(Close.Context);
  };
}

// Assigned only with a callback: an engine whose host hears no statuses
// shows its errors in boxes instead.
void TCallbackEngine::SetStatusCallback(TCallback<kavrel_status_fn> callback) {
  status_ = callback;
  if (status_.Call == nullptr) {
    OnStatus = nullptr;
    return;
  }
  OnStatus = [this](TKavrel&, const std::string& StatusStr, int StatusCode, int ErrCode) {
    status_.Call(status_.Context, last_.Id, StatusStr.c_str(), StatusCode, ErrCode);
  };
}

void TCallbackEngine::ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode) {
  last_ = {Ident, FormatArg(StatusMessageText(Ident), Arg), StatusCode, ErrCode};
  TKavrel::ReportStatus(Ident, Arg, StatusCode, ErrCode);
  TakeCancel();
}

void TCallbackEngine::TakeCancel() {
  if (cancelRequested_) Cancelled = true;
}

int TCallbackEngine::Run() {
  // The engine keeps a cancelled run's flag; a handle's next run starts
  // afresh, as its host expects of a new call.
  Cancelled = false;
  cancelRequested_ = false;
  handedOver_ = false;
  hasRun_ = true;
  const TInterfaceScope scope(*this);
  RunUpdate();
  return RunStatus(Outcome());
}

bool TCallbackEngine::HandOver() {
  const TInterfaceScope scope(*this);
  RestartApplication();
  return handedOver_;
}

}  // namespace kavrel::capi
