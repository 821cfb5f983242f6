// Fetching one file over HTTP, FTP or a file path. Every transfer goes to a
// temporary file first; the destination is replaced only once the whole file
// has arrived, so a cancelled or broken transfer never leaves half a file.
#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "Errors.h"
#include "Files.h"
#include "Kavrel.h"
#include "KvBase64.h"
#include "KvLogin.h"
#include "Locations.h"
#include "PathHelpers.h"
#include "PathNames.h"
#include "Text.h"
#include "TextFile.h"
#include "UpdateLog.h"

namespace kavrel {

namespace {

constexpr std::size_t kNetworkBlock = 4096;
constexpr std::size_t kLocalBlock = 32768;

// Progress positions and sizes are 32-bit numbers; larger files wrap.
int Low32(std::int64_t value) { return static_cast<int>(static_cast<std::uint32_t>(value)); }

// The part of a path after its last separator or colon.
std::string_view LastPart(std::string_view path) {
  const std::size_t pos = path.find_last_of("\\/:");
  return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

// Gathers the small network blocks into large writes: one system call per
// 4096 bytes would cost more than the transfer itself.
class TWriteBuffer {
 public:
  explicit TWriteBuffer(platform::TFile& file) : file_(file) { data_.reserve(kCapacity); }
  void Append(const char* bytes, std::size_t count) {
    if (data_.size() + count > kCapacity) Flush();
    data_.insert(data_.end(), bytes, bytes + count);
  }
  void Flush() {
    if (!data_.empty()) file_.Write(data_.data(), data_.size());
    data_.clear();
  }

 private:
  static constexpr std::size_t kCapacity = 256 * 1024;
  platform::TFile& file_;
  std::vector<char> data_;
};

// A temporary download file that is deleted unless it was moved into place.
class TTemporaryFile {
 public:
  explicit TTemporaryFile(const std::string& folder) {
    int error = 0;
    file_ = platform::TFile::CreateTemporary(folder, "KAVR", path_, &error);
    // The folder by its full path: "." tells a user nothing.
    if (!file_)
      throw platform::EInOutError("Cannot create a temporary file in " +
                                      (folder.empty() ? platform::GetCurrentDir() : folder) + ": " +
                                      platform::SystemErrorText(error),
                                  error);
  }
  ~TTemporaryFile() {
    file_.reset();
    if (!kept_) platform::DeleteFileAt(path_);
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  platform::TFile& File() { return *file_; }
  const std::string& Path() const { return path_; }
  void Close() { file_->Close(); }
  // Deletes the file now; false (and the file stays) when that fails.
  bool Delete() {
    file_.reset();
    kept_ = true;
    return platform::DeleteFileAt(path_);
  }
  void Keep() { kept_ = true; }

 private:
  std::optional<platform::TFile> file_;
  std::string path_;
  bool kept_ = false;
};

}  // namespace

std::string TKavrel::DownloadTempFolder() const {
  return UseWinTempDir ? GetTempDir() : TempDirectory;
}

// Puts a complete temporary file in the destination's place. The old file is
// replaced, never deleted first: on another disk the move is a copy, and one
// that fails (the disk is full) must leave the old file as it was. A
// destination that is marked read-only or hidden is unmarked and tried
// again. False with report 972 when the old file stays, and 973.
static bool PlaceDownloadedFile(TKavrel& engine, const std::string& temp,
                                const std::string& destination) {
  if (platform::ReplaceFileWith(temp, destination)) return true;
  if (platform::FileExists(destination)) {
    platform::ClearReadOnlyHidden(destination);
    if (platform::ReplaceFileWith(temp, destination)) return true;
    engine.ReportStatus(972, destination, 19, 6);
    LogWriteLine("Unable to delete file " + destination);
  }
  engine.ReportStatus(973, temp + " to " + destination, 19, 7);
  LogWriteLine("Unable to rename file " + temp + " to " + destination);
  return false;
}

bool TKavrel::DownloadFile(platform::TInternetHandle* Connection, const std::string& URL,
                           const std::string& TargetDir) {
  const std::optional<TSignedContent> expected = std::exchange(ExpectedContent, std::nullopt);
  ReportStatus(915, URL, 3, 0);
  const std::string name = FileNameFromURL(URL);

  if (UpdateType == fileUpdate) {
    const std::string destination = LastPart(TargetDir).empty() ? TargetDir + name : TargetDir;
    if (!CopyCheckedFile(URL, destination, expected)) return false;
    NotifyFileDownloaded(destination);
    return true;
  }

  // A location that names no file (it ends in "/", or names "." or "..") has
  // nothing to put in the target folder; fetching it would write to the folder
  // itself or above it.
  if (name.empty() || name == "." || name == "..") {
    ReportStatus(917, URL, 2, 1);
    return false;
  }
  std::unique_ptr<platform::TInternetRequest> request;
  std::int64_t size = 0;
  if (UpdateType == ftpUpdate) {
    auto* ftp = dynamic_cast<platform::TFtpConnection*>(Connection);
    if (ftp != nullptr && !FTPDirectory.empty() && !FtpDirChanged) {
      const std::string directory = ExpandMacros(FTPDirectory);
      ReportStatus(974, directory, 3, 0);
      if (!ftp->SetCurrentDirectory(directory)) ReportStatus(975, directory, 3, 8);
      FtpDirChanged = true;
    }
    if (ftp != nullptr) {
      size = ftp->FileSize(name).value_or(0);
      request = ftp->OpenFile(name);
    } else {
      platform::SetLastInternetError(6, "No FTP connection is open");
    }
  } else if (!HttpRequest(dynamic_cast<platform::TInternetSession*>(Connection), URL, request)) {
    return false;
  }
  if (!request) {
    ReportInternetError();
    ReportStatus(917, URL, 2, 1);
    return false;
  }
  if (UpdateType == httpUpdate) size = request->ContentLength().value_or(0);
  const std::string destination = TargetDir + FileNameFromURL(URL);
  return ReceiveToDestination(*request, size, destination, expected);
}

// Opens the HTTP request, asking for credentials as Authenticate says. False
// when the run must not go on with this file (reported); true otherwise, with
// the open request, or none when no response came.
bool TKavrel::HttpRequest(platform::TInternetSession* Session, const std::string& Location,
                          std::unique_ptr<platform::TInternetRequest>& Request) {
  // A login asked for by a server that a redirection led to belongs to that
  // server: the next round asks it directly, since credentials never follow a
  // redirection to another host.
  std::string location = Location;
  auto askForLogin = [&] {
    std::string user = UserID, password = Password;
    if (!ShowLoginDialog("Connect to " + HostFromURL(location), user, password)) {
      ReportStatus(956, "Authentication cancelled", 0, 0);
      return false;
    }
    UserID = user;
    Password = password;
    return true;
  };
  // Credentials belong to one origin: the control file's (the run's first
  // request), or the one whose 401 a login answered. Another host, port or
  // scheme (plain http after https) never receives them.
  if (CredentialOrigin.empty()) CredentialOrigin = OriginOf(location);
  if (Authenticate == kaAlways && (UserID.empty() || Password.empty())) {
    if (!askForLogin()) return false;
    CredentialOrigin = OriginOf(location);
  }
  while (true) {
    platform::THttpRequestOptions options;
    options.KeepConnection = HTTPKeepAliveAuthentication;
    options.ExistingConnection = ExistingConnection;
    if ((!UserID.empty() || !Password.empty()) && OriginOf(location) == CredentialOrigin)
      options.Headers.push_back("Authorization: Basic " + Base64Encode(UserID + ":" + Password));
    if (Session == nullptr) platform::SetLastInternetError(6, "No Internet session is open");
    Request = Session != nullptr ? Session->OpenUrl(location, options) : nullptr;
    if (!Request) return true;
    const auto status = static_cast<unsigned>(Request->StatusCode());
    if (status == 401 && Authenticate == kaAuto) {
      if (const std::string answered = Request->EffectiveLocation(); !answered.empty())
        location = answered;
      Request.reset();
      if (!askForLogin()) return false;
      CredentialOrigin = OriginOf(location);
      continue;
    }
    if (status >= 300) {
      ReportStatus(916, std::to_string(status), 6, static_cast<int>(status));
      Request.reset();
      return false;
    }
    return true;
  }
}

bool TKavrel::MatchesSignedContent(TContentCheck& Check, const std::string& Destination) {
  const auto why = Check.Mismatch();
  if (!why) return true;
  if (Check.Signed())
    ReportUnsigned(Destination, *why);
  else
    ReportStatus(981, Destination + ": " + *why, 10, 0);
  return false;
}

// What may arrive for `destination` through `folder`: the signed content when
// there is one, else no more than leaves both file systems their reserve (5%
// of each or 256 MiB, whichever is less), so that an endless answer never
// fills a disk.
TContentCheck TKavrel::TransferCheck(const std::optional<TSignedContent>& Expected,
                                     const std::string& Folder,
                                     const std::string& Destination) const {
  if (Expected) return TContentCheck(*Expected);
  constexpr std::uint64_t kReserve = 256ULL * 1024 * 1024;
  std::int64_t limit = INT64_MAX;
  for (const std::string_view where :
       {std::string_view(Folder), platform::FolderPart(Destination)}) {
    if (const auto space = platform::DiskSpace(where)) {
      const std::uint64_t reserve = std::min(space->Total / 20, kReserve);
      limit =
          std::min(limit, space->Free > reserve ? static_cast<std::int64_t>(space->Free - reserve)
                                                : std::int64_t{0});
    }
  }
  return TContentCheck(TSignedContent::Bounded(
      limit, "more than " + std::to_string(limit) +
                 " bytes arrived, which would leave the disk less free space than it must keep"));
}

bool TKavrel::ReceiveToDestination(platform::TInternetRequest& Request, std::int64_t Size,
                                   const std::string& Destination,
                                   const std::optional<TSignedContent>& Expected) {
  TContentCheck check = TransferCheck(Expected, DownloadTempFolder(), Destination);
  TTemporaryFile temp(DownloadTempFolder());
  TWriteBuffer writer(temp.File());
  std::vector<char> block(kNetworkBlock);
  std::int64_t total = 0;
  bool received = false, readFailed = false;
  bool cancel = Cancelled;
  std::size_t count = kNetworkBlock;
  while (count > 0 && !cancel) {
    PumpMessages();
    if (!Request.Read(block.data(), block.size(), count)) {
      readFailed = true;
      // A transfer abandoned for the user's cancel ends as cancelled.
      if (Cancelled) {
        cancel = true;
        ReportStatus(964, "", 0, 0);
      }
      break;
    }
    if (count > 0) {
      writer.Append(block.data(), count);
      received = true;
    }
    total += static_cast<std::int64_t>(count);
    // More than was signed, or than may arrive: the rest is not waited for.
    if (!check.Add(block.data(), count)) break;
    if (OnFileProgress) OnFileProgress(*this, Destination, Low32(total), Low32(Size));
    cancel = Cancelled;
    CheckCancel(cancel);
  }
  writer.Flush();
  temp.Close();
  Cancelled = cancel;

  // Nothing but a complete, non-empty file replaces the destination, and in a
  // signed run only the file that was signed.
  if (cancel || readFailed || !received || !MatchesSignedContent(check, Destination)) {
    if (!temp.Delete()) LogWriteLine("Unable to delete file " + temp.Path());
    return false;
  }
  platform::ShareLike(temp.Path(), Destination);
  const bool result = PlaceDownloadedFile(*this, temp.Path(), Destination);
  temp.Keep();
  NotifyFileDownloaded(Destination);
  return result;
}

bool TKavrel::CopyLocalFile(const std::string& Source, const std::string& Dest) {
  return CopyCheckedFile(Source, Dest, std::nullopt);
}

bool TKavrel::CopyCheckedFile(const std::string& Source, const std::string& Dest,
                              const std::optional<TSignedContent>& Expected) {
  // The same file under another spelling ("\\" against "/", a link) counts as
  // equal too: copying it onto itself would delete it.
  if (Source == Dest || platform::SameFile(Source, Dest)) {
    ReportStatus(912, Source, 10, 3);
    return false;
  }
  auto source = platform::TFile::Open(Source, platform::TFile::Mode::Read);
  if (!source) {
    ReportStatus(913, Source, 2, 1);
    return false;
  }
  const std::int64_t length = source->Size();
  if (length <= 0) {
    ReportStatus(914, Source, 10, 2);
    return false;
  }
  std::optional<TTemporaryFile> temp;
  try {
    temp.emplace(DownloadTempFolder());
  } catch (const platform::EInOutError&) {
    return false;
  }
  TContentCheck check = TransferCheck(Expected, DownloadTempFolder(), Dest);
  std::vector<char> block(kLocalBlock);
  std::int64_t total = 0;
  bool cancel = false, failed = false;
  try {
    std::size_t count = 0;
    do {
      count = source->Read(block.data(), block.size());
      temp->File().Write(block.data(), count);
      if (!check.Add(block.data(), count)) break;
      total += static_cast<std::int64_t>(count);
      if (OnFileProgress) OnFileProgress(*this, Source, Low32(total), Low32(length));
      CheckCancel(cancel);
      PumpMessages();
    } while (count > 0 && !cancel);
    temp->Close();
  } catch (const platform::EInOutError&) {
    failed = true;
  }
  Cancelled = cancel;
  // The temporary file goes with `temp`.
  if (cancel || failed || !MatchesSignedContent(check, Dest)) return false;

  platform::ShareLike(temp->Path(), platform::FileExists(Dest) ? Dest : Source);
  if (!PlaceDownloadedFile(*this, temp->Path(), Dest)) return false;  // the copy goes with `temp`
  temp->Keep();
  return true;
}

std::optional<TStrings> TKavrel::DownloadText(const std::string& URL) {
  // A text for a dialog; one larger than this is no text anyone would read.
  constexpr std::size_t kMaxTextSize = 16 * 1024 * 1024;
  const auto bytes = DownloadBytes(URL, kMaxTextSize);
  if (!bytes) return std::nullopt;
  return SplitLines(DecodeText(*bytes));
}

std::optional<std::string> TKavrel::DownloadBytes(const std::string& URL, std::size_t Limit) {
  // A folder of its own below the temporary one: texts named like the
  // control file's copy ("ctl.php?id=7", "news.php?id=7" are both "id=7")
  // or like another file of the run must not replace it.
  const auto folder = platform::TTemporaryFolder::Create(GetTempDir(), "KAVR");
  if (!folder) {
    ExpectedContent.reset();  // it was meant for this transfer only
    return std::nullopt;
  }
  // Stopped while it arrives, not stored whole and then refused.
  if (!ExpectedContent)
    ExpectedContent = TSignedContent::Bounded(
        static_cast<std::int64_t>(Limit),
        "more than " + std::to_string(Limit) + " bytes arrived, more than it may have");
  const std::string path = AddBackslash(folder->Path()) + FileNameFromURL(URL);
  std::optional<std::string> bytes;
  if (DownloadFile(ConnectHandle, URL, AddBackslash(folder->Path()))) {
    bytes = platform::ReadWholeFile(path, Limit);
    platform::DeleteFileAt(path);
  }
  return bytes;
}

}  // namespace kavrel
