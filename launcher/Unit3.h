// TForm3, the launcher's window: it owns the update engine Kavrel1, reads the
// settings file and the splash picture when it is created, runs the update
// when it is first activated and follows the engine's events. What the form
// shows goes to a view: the splash window, or nothing without a display.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Kavrel.h"

namespace kavrel::launcher {

inline constexpr const char* kNotFoundBox = "Update File Not Found / Could not connect to server";
inline constexpr const char* kAlreadyRunningBox =
    "An update of this application is already running.";
inline constexpr const char* kSplashPicture = "tolvan.bmp";

// The launcher's exit statuses.
inline constexpr int kExitDone = 0;       // applied, or no update was needed
inline constexpr int kExitFailed = 1;     // settings, server, a file or the disk failed
inline constexpr int kExitCancelled = 3;  // cancelled (Ctrl+C, a request to end, the user)
inline constexpr int kExitDeclined = 4;   // a question, a what's-new text or a licence declined

// The window system's side of the form.
class TForm3View {
 public:
  virtual ~TForm3View() = default;
  // Loads Image1's picture; raises platform::EInOutError when the file is
  // missing or not a picture.
  virtual void LoadPicture(const std::string& path) = 0;
  // ProgressBar1's range and position, as the form holds them.
  virtual void ShowProgress(int maximum, int position) = 0;
  // Closes the window; the program ends once control is back in its loop.
  virtual void Close() = 0;
  // Set by the form: what the window system's close request (the window
  // manager's close, Alt+F4) does.
  std::function<void()> CloseRequested;
};

class TForm3 {
 public:
  // Creates the form around an engine: the engine gets the launcher's stored
  // property values and the form's handlers.
  TForm3(std::unique_ptr<TKavrel> engine, TForm3View& view);

  void FormCreate();
  // Runs the update on the first activation only: the window becomes active
  // again whenever a box of the run closes, and that starts nothing. With
  // "Run" in the settings, a run that ends without a handoff starts the
  // application itself and closes the launcher.
  void FormActivate();

  void Kavrel1Status(TKavrel& Sender, const std::string& StatusStr, int StatusCode, int ErrCode);
  void Kavrel1GetFileList(TKavrel& Sender, TStrings& List);
  void Kavrel1FileProgress(TKavrel& Sender, const std::string& FileName, int Pos, int Size);
  void Kavrel1AppRestart(TKavrel& Sender, bool& Allow);
  void Kavrel1ProcessPostResult(TKavrel& Sender, bool& AllowPostResult);
  void Kavrel1AppDoClose(TKavrel& Sender);
  void Kavrel1ProgressCancel(TKavrel& Sender, bool& Cancel);
  // The window closed by its user: a run under way is cancelled as the
  // user's cancel does, and the launcher ends once it has unwound.
  void FormCloseRequest();

  TKavrel& Kavrel1() { return *kavrel1_; }
  bool Closed() const { return closed_; }
  // The launcher's exit status: kExitDone when the update was applied or none
  // was needed, else why not.
  int ExitStatus() const;
  bool Activated() const { return activated_; }

  // The state of the controls.
  std::string Label2Caption = "Label2";
  std::vector<std::pair<std::string, bool>> CheckListBox1;  // item and check mark
  int ProgressMax = 100;
  int ProgressPos = 0;

 private:
  void Close();
  void StartApplication();
  // The standard error display: an error box with the error's text.
  void ShowError(const std::exception& error);

  // Declared first so that it outlives the engine that refers to it.
  TKavrelUtility utility_;
  std::unique_ptr<TKavrel> kavrel1_;
  TForm3View& view_;
  bool activated_ = false;
  bool closed_ = false;
  bool failed_ = false;      // an error box was shown
  bool handedOver_ = false;  // the updater stub was started
  bool closeRequested_ = false;
  std::string run_;  // the settings' "Run"
};

// The property values the launcher's window stores for Kavrel1, in order.
const std::vector<std::pair<std::string, std::string>>& Kavrel1StoredProperties();

}  // namespace kavrel::launcher
