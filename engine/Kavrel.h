// TKavrel, the update engine: configured through its published properties and
// events, asked to perform one update run by RunUpdate. Every step of a run is
// an overridable operation, declared in the order of the engine's step table.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "DateTime.h"
#include "Internet.h"
#include "KavrelExport.h"
#include "KavrelTypes.h"
#include "SignedContent.h"

namespace kavrel {

class TKavrel;
class TControlFile;
class TUpdateJournal;

using TKavrelFileProgress =
    std::function<void(TKavrel& Sender, const std::string& FileName, int Pos, int Size)>;
using TKavrelFileDownloaded = std::function<void(TKavrel& Sender, const std::string& FileName)>;
using TKavrelFileVersionCheck = std::function<void(TKavrel& Sender, const std::string& NewVersion,
                                                   const std::string& LocalVersion, bool& IsNew)>;
using TKavrelProcessPostResult = std::function<void(TKavrel& Sender, bool& AllowPostResult)>;
using TKavrelBeforePost = std::function<void(TKavrel& Sender, bool& AllowPost)>;
using TKavrelProgress = std::function<void(TKavrel& Sender, const std::string& Action)>;
using TKavrelProgressCancel = std::function<void(TKavrel& Sender, bool& Cancel)>;
using TKavrelStatus =
    std::function<void(TKavrel& Sender, const std::string& StatusStr, int StatusCode, int ErrCode)>;
using TKavrelThreadDone = std::function<void(TKavrel& Sender)>;
using TKavrelRestart = std::function<void(TKavrel& Sender, bool& Allow)>;
using TKavrelEvent = std::function<void(TKavrel& Sender)>;
using TKavrelBeforeDownload = std::function<void(
    TKavrel& Sender, int FileIdx, const std::string& FileDescription, std::string& URL)>;
using TKavrelCustomValidate = std::function<void(TKavrel& Sender, const std::string& Msg,
                                                 const std::string& Param, bool& Allow)>;
using TKavrelCustomProcess =
    std::function<void(TKavrel& Sender, const std::string& Msg, const std::string& Param)>;
using TKavrelFileList = std::function<void(TKavrel& Sender, TStrings& List)>;
using TKavrelConvertPrefix = std::function<void(TKavrel& Sender, std::string& Path)>;
using TKavrelSetParams = std::function<void(TKavrel& Sender, std::string& AppParams)>;
using TKavrelTextDownloaded = std::function<void(TKavrel& Sender, TStrings& Text, int& Res)>;
using TKavrelFileNameFromURL =
    std::function<void(TKavrel& Sender, const std::string& URL, std::string& FName)>;
using TNotifyEvent = std::function<void(TKavrel& Sender)>;

class KAVREL_API TKavrel : public TComponent {
 public:
  TKavrel();
  ~TKavrel() override;

  // ---- Overridable operations, in the order of the engine's step table ----
  virtual int ShowWhatsNew(TStrings& List);
  virtual int ShowLicense(TStrings& List);
  virtual void ReportStatus(int Ident, const std::string& Arg, int StatusCode, int ErrCode);
  virtual void DeployStub();
  virtual void DeployUtility();
  virtual bool CompareLocalFile(std::string& NewVersion, std::string& LocalFile, int NewSize,
                                int NewChecksum);
  virtual void CheckCancel(bool& Cancel);
  virtual void NotifyFileDownloaded(const std::string& FileName);
  virtual int OpenConnection();
  virtual void CloseConnection();
  virtual int ConnectHost();
  virtual void GetControlFile(std::string& URL);
  virtual int CheckUpdateSection();
  virtual int CheckUpdateConditions();
  virtual int RunInstructions();
  virtual std::optional<TStrings> GetWhatsNew();
  virtual std::optional<TStrings> GetLicense();
  virtual void GetOSVersion(std::string& Text);
  virtual void GetCompilerTag(std::string& Text);
  virtual void GetIEVersion(std::string& Text);
  virtual void GetInstalledIDEs(std::string& Text);
  virtual int ReadFileList();
  virtual int SelectFiles();
  virtual int InstallFiles();
  virtual void LookupMacro(const std::string& Name, std::string& Value);

  // ---- Public operations ----
  // Performs one whole update run in the caller's thread. A call made while a
  // run of this engine is under way (from an event handler) returns at once.
  void RunUpdate();
  void RestartApplication();
  // Runs a program and waits for its end without a time limit, showing the
  // animation window meanwhile when asked. True only when it ran and ended
  // with exit code 0; another exit code plus 8192 becomes the last error.
  bool ExecuteAndWait(const std::string& CommandLine, bool ShowWindow, bool ShowAnimation,
                      const std::string& Caption, const std::string& Message);
  bool Running() const { return running_; }
  // How the last run ended, for a host's exit status: the update was applied,
  // none was needed, it failed, it was cancelled, or the user declined it (a
  // question, a what's-new text or a licence).
  enum class TRunOutcome { Done, NoUpdate, Failed, Cancelled, Declined };
  TRunOutcome Outcome() const { return Cancelled ? TRunOutcome::Cancelled : outcome_; }
  // The outcome as the exit status of a command-line run and the result of
  // the C interface's run (kavrel.h names the same values).
  static int RunStatus(TRunOutcome Outcome);

  // Version: always the engine's own; setting it does nothing.
  std::string GetVersion() const;
  void SetVersion(const std::string& Value);
  // LogFileName: setting it also makes it the process-wide log name.
  const std::string& LogFileName() const { return FLogFileName; }
  void SetLogFileName(const std::string& Value);
  // Utility: a reference that is dropped when the utility component goes.
  TKavrelUtility* Utility() const { return FUtility; }
  void SetUtility(TKavrelUtility* Value);

  // Replaces macros such as {APP} by the folders of this machine.
  std::string ExpandMacros(std::string Text);

  // The local file name for a location (raises OnFileNameFromURL).
  std::string FileNameFromURL(const std::string& URL);

  // ---- Transfer ----
  bool IsInternetConnected();
  void SetConnectTimeout(int Milliseconds);
  // Fetches one location into TargetDir through a temporary file; true when
  // the file is in place.
  bool DownloadFile(platform::TInternetHandle* Connection, const std::string& URL,
                    const std::string& TargetDir);
  // Fetches a text file and returns its lines; nothing when it cannot be fetched.
  std::optional<TStrings> DownloadText(const std::string& URL);
  // Fetches a location into a folder of its own and returns its bytes; nothing
  // when it cannot be fetched or holds more than `Limit` bytes.
  std::optional<std::string> DownloadBytes(const std::string& URL, std::size_t Limit);
  bool CopyLocalFile(const std::string& Source, const std::string& Dest);
  // Whether an entry of the file list is transferred, asked as UpdateUpdate
  // says. `Mode` starts as UpdateUpdate when the installation starts and is
  // kept by the caller across the entries.
  enum class TTransferDecision { Transfer, Skip, Stop };
  TTransferDecision ConfirmTransfer(TKavrelUpdate& Mode, const TFileDescription& Entry);

  // The connection the transfers go through, as the run opened it.
  platform::TInternetHandle* Connection() const { return ConnectHandle; }

  // Reads a control-file date and time with this engine's date settings; an
  // unreadable date counts as 1 January 1980, an unreadable time adds nothing.
  TDateTime ParseControlDateTime(const std::string& DateText, const std::string& TimeText) const;

  // ---- Published properties ----
  std::string Agent;
  bool ApplyPatch = false;
  TKavrelAuthentication Authenticate = kaNever;
  std::string DateFormat;
  std::string DateSeparator = "/";  // one character, which may take several bytes
  bool ExtractCAB = false;
  bool ExistingConnection = false;
  bool ForceUpdate = false;
  std::string FTPDirectory;
  bool FTPPassive = false;
  std::string Host;
  // Seconds the updater stub watches a restarted application where the
  // control file names no "healthcheck" (0: no health check).
  int DefaultHealthCheck = 0;
  bool HTTPKeepAliveAuthentication = false;
  bool KeepIntermediateFiles = false;
  std::string LanguageID;
  bool Logging = false;
  TLastURLEntry LastURLEntry;
  std::string Password;
  int Port = 0;
  TPostUpdateInfo PostUpdateInfo;
  // The product a signed control file must name in "product"; empty: any.
  std::string ProductID;
  std::string Proxy;
  std::string ProxyUserID;
  std::string ProxyPassword;
  // Public keys (minisign's base64 form, separated by blanks) of which one
  // must have signed the control file; empty: control files are not signed.
  std::string PublicKey;
  std::string Signature;
  bool SignatureCheck = false;
  std::string TempDirectory;
  std::string TimeFormat;
  int TimeOut = 0;
  std::string TimeSeparator = ":";  // one character, which may take several bytes
  TKavrelType UpdateType = httpUpdate;
  TKavrelConnect UpdateConnect = kvcNoConnect;
  TKavrelUpdate UpdateUpdate = kvuPromptOnce;
  std::string URL;
  std::string UserID;
  bool UseCRC32 = false;
  bool UseWinTempDir = true;
  TKavrelVersionCheck VersionCheck = vcUpdateOnly;

  // ---- Published events ----
  TKavrelFileProgress OnFileProgress;
  TKavrelFileDownloaded OnFileDownloaded;
  TKavrelFileVersionCheck OnFileVersionCheck;
  TKavrelProcessPostResult OnProcessPostResult;
  TKavrelBeforePost OnBeforePost;
  TKavrelProgress OnProgress;  // never raised
  TKavrelProgressCancel OnProgressCancel;
  TKavrelStatus OnStatus;
  TKavrelThreadDone OnThreadUpdateDone;  // never raised
  TKavrelRestart OnAppRestart;
  TKavrelEvent OnAppDoClose;
  TKavrelBeforeDownload OnBeforeFileDownload;
  TKavrelCustomValidate OnCustomValidate;
  TKavrelCustomProcess OnCustomProcess;
  TKavrelFileList OnGetFileList;
  TKavrelConvertPrefix OnConvertPrefix;
  TKavrelSetParams OnSetAppParams;
  TKavrelTextDownloaded OnDownloadedWhatsNew;
  TKavrelTextDownloaded OnDownloadedEULA;
  TKavrelFileNameFromURL OnFileNameFromURL;
  TNotifyEvent OnSuccess;

  TFileList FileList;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

  // The run itself and its small operations.
  void ProcessUpdate();
  void RunOpenedUpdate();  // the run once the connection is open
  void FinishUpdate();
  bool RestartNeeded() const;
  void NotifySuccess();

  // Steps of later stages that the driver and the finishing step rely on.
  virtual void ReportInternetError();
  virtual void SendPostUpdateInfo();
  virtual std::string ReadLastURL();
  virtual void WriteLastURL(const std::string& Address);
  virtual void WriteLastUpdateDate(TDateTime Value);
  // The date of the last update: remembered in the registry when the memory is
  // configured (which sets SaveLastDate), else the reference file's last write.
  TDateTime ReadLastUpdateDate();
  // A date as the memory would give it back once written: without what its
  // formats leave out (milliseconds, say).
  static TDateTime AsRemembered(TDateTime Value);

  // Signed updates. A run is signed when PublicKey holds a key: the control
  // file is then verified before anything in it is read, and every file,
  // text and page it names is checked against its signed hash.
  bool SignedRun() const;
  int VerifyControlFile(const std::string& Address);
  // Reports why a file the control file names is not the signed one.
  void ReportUnsigned(const std::string& What, const std::string& Why);
  // The highest "sequence" this installation has accepted from `Address`.
  virtual std::optional<std::int64_t> ReadAcceptedSequence(const std::string& Address);
  virtual void WriteAcceptedSequence(const std::string& Address, std::int64_t Value);
  std::optional<TStrings> DownloadSectionText(const TControlFile& Control,
                                              const std::string& Section,
                                              const std::string& Address);
  // Shows the page of the "htmldlg" instruction once its signed hash matched.
  void ShowSignedPage(const TControlFile& Control, const std::string& Page);

  // The folder temporary download files are made in.
  std::string DownloadTempFolder() const;
  // Lets the window system handle what is pending, at most every few
  // milliseconds so that a fast transfer is not slowed by it.
  void PumpMessages();

  std::string DownloadFolderForStub() const;
  void ExpandFetched(const std::string& Fetched, const std::string& TargetDir,
                     const std::string& Name, int& Result);
  void SetAsideFallbacks();
  // Gives a fetched patch to the patch utility; false when it was not applied.
  bool ApplyFetchedPatch(const std::string& Fetched, const TFileDescription& Entry);
  // Where DeployUtility writes the patch utility.
  std::string UtilityTarget() const;

  // The update as one transaction (engine/Transaction.cpp): every installed
  // file the run replaces goes through the update's journal, which a failure
  // or a refused handoff rolls back whole and a finished run completes.
  bool PlaceJournalled(const std::string& From, const std::string& Target);
  // One step written to the journal, its "begin" before the update's first.
  bool JournalledStep(const std::function<bool(TUpdateJournal&)>& Step);
  // (the unpackers' TPlaceFile, spelt out: that header is not installed)
  std::function<bool(const std::string& From, const std::string& To)> JournalPlacer();
  bool KeepJournalledBackup(const std::string& Target);
  void JournalPlaced(const std::string& Target);
  void JournalHandoff();
  void EndTransaction(bool Succeeded);
  // Completes or rolls back what an earlier run or stub left unfinished;
  // false when the run must not go on.
  bool RecoverInstallation();
  // The update of this run as its journal and rollback mark name it: the
  // "sequence" of [update], else its date.
  std::string UpdateMark();
  // False (reported) when this update was rolled back before and is not newer.
  bool UpdateNotRolledBack();

  // Starts a program named by the control file, without waiting for it.
  void StartProgram(const std::string& CommandLine);

  // ---- State shared by the steps of a run ----
  std::unique_ptr<platform::TInternetSession> SessionHandle;
  std::unique_ptr<platform::TFtpConnection> FtpConnectionHandle;  // owns ConnectHandle for FTP
  platform::TInternetHandle* ConnectHandle = nullptr;
  bool Connected = false;
  bool Dialled = false;
  bool SaveLastDate = false;
  std::string ControlFileName;
  std::string ControlFileAddress;  // where this run's control file came from
  std::string CredentialOrigin;    // the origin UserID and Password are sent to
  std::string AppName;
  std::string AppParams;
  std::string AppComps;
  bool AppUpdate = false;
  bool AppComponentUpdated = false;
  bool SilentRestart = false;
  int HealthCheck = 0;        // seconds the stub watches the restarted application
  bool ConfirmStart = false;  // which must confirm its start within them
  bool FtpDirChanged = false;
  std::string LocalVersionFile;
  std::string LocalVersionText;
  std::string NewVersionText;
  std::string UpdateDescription;
  TDateTime ControlDateTime = DefaultControlDate();
  TDateTime LastUpdateDateTime = DefaultControlDate();
  bool Cancelled = false;
  bool TransferDeclined = false;  // the user said No to fetching the files
  bool StubStarted = false;       // the updater stub of this run has been started
  bool JournalStarted = false;    // this run has replaced an installed file
  // The signed hash and size the next DownloadFile checks what arrives against;
  // taken by that call.
  std::optional<TSignedContent> ExpectedContent;
  // Files of this run left in the download folder with their verified SHA-256,
  // handed to the updater stub so that it installs nothing else.
  std::map<std::string, std::string> VerifiedFiles;
  // Entries named as a patch's fallback, set aside by SelectFiles until a
  // patch that names them fails.
  std::vector<TFileDescription> FallbackFiles;

 private:
  bool HttpRequest(platform::TInternetSession* Session, const std::string& Location,
                   std::unique_ptr<platform::TInternetRequest>& Request);
  bool ReceiveToDestination(platform::TInternetRequest& Request, std::int64_t Size,
                            const std::string& Destination,
                            const std::optional<TSignedContent>& Expected);
  bool CopyCheckedFile(const std::string& Source, const std::string& Dest,
                       const std::optional<TSignedContent>& Expected);
  TContentCheck TransferCheck(const std::optional<TSignedContent>& Expected,
                              const std::string& Folder, const std::string& Destination) const;
  // False, with report 979 (981 for a bound), when what arrived is not the
  // signed content or went past its bound.
  bool MatchesSignedContent(TContentCheck& Check, const std::string& Destination);

  std::string FLogFileName;
  TKavrelUtility* FUtility = nullptr;
  std::chrono::steady_clock::time_point lastPump_{};
  bool running_ = false;
  TRunOutcome outcome_ = TRunOutcome::Failed;
};

// What a run reports (976) when another run of the installation holds it.
inline constexpr const char* kAnotherRunText = "Another update of this installation is running";

// Shows a page (an address or a local file) in the HTML dialog.
KAVREL_API void ShowHTMLDialogURL(const std::string& Address);

// True when the running system is Windows Vista or later.
KAVREL_API bool IsVistaOrLater();

}  // namespace kavrel
