// The Internet client on WinINet.
//
// The library's calls are used in their blocking form, each run on a worker
// thread of the session, connection or request while the caller's thread
// waits, calling the idle handler every few tens of milliseconds and keeping
// the stall clock. The asynchronous mode would need no thread, but its
// completion callbacks and pending-call rules differ between Windows versions
// and Wine; a blocking call on a thread behaves alike everywhere. A call whose
// wait ends early (the idle handler abandoned it, or it stalled) is left to
// end on its thread, which then closes what it opened; the library's own
// receive timeout, set a little above the stall limit, sees that it ends.
// Every call therefore takes its arguments by value and writes its results
// into state it shares with the waiter, never into the caller's memory.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "Internet.h"
#include "ProxySelection.h"
#include "Text.h"
#include "WideText.h"

namespace kavrel::platform {

using win32::Utf8;
using win32::Wide;

namespace {

thread_local TInternetError gLastError;

void RecordError(int code, std::string text) {
  gLastError.Code = code;
  gLastError.Text = std::move(text);
}

struct TError {
  DWORD code = 0;
  std::string text;
};

std::string TrimmedUtf8(std::wstring_view text) {
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
    text.remove_suffix(1);
  return Utf8(text);
}

// The library's text for one of its numbers, else the system's; for an
// extended error the server's own last answer. Taken on the thread that made
// the failing call, which is where the library keeps that answer.
TError CaptureError() {
  TError error;
  error.code = GetLastError();
  wchar_t buffer[1024];
  DWORD n = 0;
  if (HMODULE library = GetModuleHandleW(L"wininet.dll"))
    n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, library,
                       error.code, 0, buffer, 1024, nullptr);
  if (n == 0)
    n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       error.code, 0, buffer, 1024, nullptr);
  error.text = TrimmedUtf8(std::wstring_view(buffer, n));
  if (error.code == ERROR_INTERNET_EXTENDED_ERROR) {
    DWORD detail = 0, length = 0;
    InternetGetLastResponseInfoW(&detail, nullptr, &length);
    if (length > 0) {
      std::wstring answer(length + 1, L'\0');
      if (InternetGetLastResponseInfoW(&detail, answer.data(), &length))
        error.text = TrimmedUtf8(std::wstring_view(answer.data(), length));
    }
  }
  if (error.text.empty()) error.text = "Internet error " + std::to_string(error.code);
  return error;
}

void Close(HINTERNET handle) {
  if (handle != nullptr) InternetCloseHandle(handle);
}

constexpr int kPollMilliseconds = 50;
// Above the stall limit, so that the waiter's clock speaks first and the
// library's only ends a call left behind.
constexpr DWORD kLibraryTimeoutMarginMs = 2000;
// The most a request reads ahead of its reader in one call.
constexpr DWORD kReadBlock = 64 * 1024;

// The settings every handle of a session shares.
struct TSettings {
  std::string proxy;  // the session's proxy list; empty for the system's configuration
  std::string proxyUser;
  std::string proxyPassword;
  int stallSeconds = TInternetSession::kDefaultStallSeconds;
  std::function<bool()> idle;
};

// One thread that runs blocking calls for one owner, one call at a time.
class TWorker {
 public:
  enum class TEnd { Finished, Abandoned, Stalled };

  TWorker() { Start(); }
  ~TWorker() { Stop(); }
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  // Runs `job` on the worker thread and waits for it on this one. When the
  // wait ends early, `cleanup` runs once the job is over, on whichever thread
  // sees that last, to close what the job opened.
  TEnd Run(std::function<void()> job, const std::function<void()>& cleanup,
           const TSettings& settings) {
    if (lost_) {
      Stop();
      Start();
    }
    std::unique_lock lock(state_->mutex);
    state_->job = std::move(job);
    state_->cleanup = cleanup;
    state_->done = false;
    state_->pending = true;
    state_->wake.notify_all();
    const auto start = std::chrono::steady_clock::now();
    auto lastIdle = start;
    const auto poll = std::chrono::milliseconds(kPollMilliseconds);
    while (!state_->done) {
      state_->finished.wait_for(lock, poll);
      if (state_->done) break;
      const auto now = std::chrono::steady_clock::now();
      TEnd end = TEnd::Finished;
      if (settings.stallSeconds > 0 && now - start >= std::chrono::seconds(settings.stallSeconds)) {
        end = TEnd::Stalled;
      } else if (settings.idle && now - lastIdle >= poll) {
        lastIdle = now;
        lock.unlock();
        const bool goOn = settings.idle();
        lock.lock();
        if (!goOn) end = TEnd::Abandoned;
      }
      if (end == TEnd::Finished) continue;
      if (state_->done) {
        lock.unlock();
        if (cleanup) cleanup();
      } else {
        state_->abandoned = true;
        lost_ = true;
      }
      return end;
    }
    return TEnd::Finished;
  }

 private:
  struct TState {
    std::mutex mutex;
    std::condition_variable wake, finished;
    std::function<void()> job, cleanup;
    bool pending = false, done = false, abandoned = false, quit = false;
  };

  static void Loop(std::shared_ptr<TState> s) {
    std::unique_lock lock(s->mutex);
    while (true) {
      s->wake.wait(lock, [&] { return s->pending || s->quit; });
      if (!s->pending) return;
      std::function<void()> job = std::move(s->job);
      s->pending = false;
      lock.unlock();
      job();
      lock.lock();
      s->done = true;
      if (s->abandoned) {
        // Nobody waits for this call any more: tidy up and end the thread.
        std::function<void()> cleanup = std::move(s->cleanup);
        lock.unlock();
        if (cleanup) cleanup();
        return;
      }
      s->finished.notify_all();
    }
  }

  void Start() {
    state_ = std::make_shared<TState>();
    thread_ = std::thread(Loop, state_);
    lost_ = false;
  }

  // A thread still in an abandoned call is let go; it ends by itself.
  void Stop() {
    {
      std::lock_guard lock(state_->mutex);
      state_->quit = true;
    }
    state_->wake.notify_all();
    if (lost_)
      thread_.detach();
    else
      thread_.join();
  }

  std::shared_ptr<TState> state_;
  std::thread thread_;
  bool lost_ = false;
};

// What one library call left: the handle it opened, success, its error, and
// the server's answer when the call asked for one.
struct TCallResult {
  HINTERNET handle = nullptr;
  HINTERNET connection = nullptr;  // the connection a handle was opened on, when it owns one
  bool ok = false;
  TError error;
  std::wstring answer;
  std::vector<char> data;
  DWORD count = 0;
};

// Runs one library call on the worker: true when it finished and succeeded.
// Otherwise the last error tells why (the call's own, the stall, or the
// cancel). The call must capture only values: it may outlive the caller.
bool RunCall(TWorker& worker, const TSettings& settings, std::function<bool(TCallResult&)> call,
             TCallResult& out) {
  auto result = std::make_shared<TCallResult>();
  const TWorker::TEnd end = worker.Run(
      [result, call = std::move(call)] {
        result->ok = call(*result);
        if (!result->ok) result->error = CaptureError();
      },
      [result] {
        Close(result->handle);
        Close(result->connection);
        result->handle = result->connection = nullptr;
      },
      settings);
  switch (end) {
    case TWorker::TEnd::Abandoned:
      RecordError(ERROR_INTERNET_OPERATION_CANCELLED, "The transfer was cancelled");
      return false;
    case TWorker::TEnd::Stalled:
      RecordError(ERROR_INTERNET_TIMEOUT,
                  "Nothing received for " + std::to_string(settings.stallSeconds) + " seconds");
      return false;
    case TWorker::TEnd::Finished:
      break;
  }
  out = std::move(*result);
  if (!out.ok) {
    Close(out.handle);
    Close(out.connection);
    out.handle = out.connection = nullptr;
    RecordError(static_cast<int>(out.error.code), out.error.text);
    return false;
  }
  return true;
}

// One handle serves one transfer at a time: a request made from an event
// handler while another transfer of the same handle runs is refused.
bool RefuseWhileBusy(const std::shared_ptr<bool>& busy) {
  if (*busy)
    RecordError(ERROR_INTERNET_INCORRECT_HANDLE_STATE,
                "Another transfer of this connection is under way");
  return *busy;
}

// A location as control files write it may hold blanks and other characters
// an address may not; they are sent escaped, as browsers do.
std::string EscapeUnsafe(std::string_view url) {
  return PercentEncode(url, [url](std::size_t i) {
    const auto c = static_cast<unsigned char>(url[i]);
    return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
           c == '`' || c == '{' || c == '|' || c == '}';
  });
}

bool HoldsLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

std::optional<std::int64_t> ParseLength(std::string_view text) {
  text = TrimView(text);
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != text.npos)
    return std::nullopt;
  return std::stoll(std::string(text));
}

// A header of a response as text, or nothing when it has none.
std::optional<std::string> QueryHeader(HINTERNET request, DWORD which) {
  DWORD size = 0, index = 0;
  HttpQueryInfoW(request, which, nullptr, &size, &index);
  if (size == 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  index = 0;
  if (!HttpQueryInfoW(request, which, text.data(), &size, &index)) return std::nullopt;
  text.resize(size / sizeof(wchar_t));
  return Utf8(text);
}

int QueryStatus(HINTERNET request) {
  DWORD status = 0, size = sizeof status, index = 0;
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      &index))
    return 0;
  return static_cast<int>(status);
}

// Whether an HTTP answer came with a header line. The library takes an answer
// that does not begin with a status line for one of HTTP/0.9, with no
// headers, a made-up "200 OK" and all its bytes as the body: such an answer
// is no HTTP response, and its bytes are no file.
bool HasHeaderLines(HINTERNET request) {
  const std::optional<std::string> raw = QueryHeader(request, HTTP_QUERY_RAW_HEADERS_CRLF);
  if (!raw) return false;
  const std::size_t end = raw->find("\r\n");
  return end != std::string::npos &&
         raw->find_first_not_of(std::string_view("\r\n\0", 3), end) != std::string::npos;
}

// The parts of a location the library tells apart.
struct TUrlParts {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
  std::wstring host, user, password, path;  // path with its query
  INTERNET_PORT port = 0;
};

std::optional<TUrlParts> CrackUrl(const std::string& url) {
  const std::wstring wide = Wide(url);
  URL_COMPONENTSW c{};
  c.dwStructSize = sizeof c;
  c.dwHostNameLength = c.dwUserNameLength = c.dwPasswordLength = c.dwUrlPathLength =
      c.dwExtraInfoLength = 1;  // pointers into the text
  if (!InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &c)) return std::nullopt;
  TUrlParts parts;
  parts.scheme = c.nScheme;
  parts.host.assign(c.lpszHostName, c.dwHostNameLength);
  // A user and password stand escaped in a location; the library takes them
  // as they are written there, so they are given to it decoded.
  if (c.lpszUserName != nullptr)
    parts.user = Wide(PercentDecode(Utf8(std::wstring_view(c.lpszUserName, c.dwUserNameLength))));
  if (c.lpszPassword != nullptr)
    parts.password =
        Wide(PercentDecode(Utf8(std::wstring_view(c.lpszPassword, c.dwPasswordLength))));
  if (c.lpszUrlPath != nullptr) parts.path.assign(c.lpszUrlPath, c.dwUrlPathLength);
  if (c.lpszExtraInfo != nullptr) parts.path.append(c.lpszExtraInfo, c.dwExtraInfoLength);
  if (parts.path.empty()) parts.path = L"/";
  parts.port = c.nPort;
  return parts;
}

// Credentials follow a redirection only to the same scheme, host and port.
bool SameServer(const std::string& a, const std::string& b) {
  const auto x = CrackUrl(a), y = CrackUrl(b);
  return x && y && x->scheme == y->scheme && x->port == y->port &&
         SameText(Utf8(x->host), Utf8(y->host));
}

std::optional<std::string> Redirected(const std::string& base, const std::string& target) {
  const std::wstring wideBase = Wide(base), wideTarget = Wide(target);
  DWORD length = 0;
  InternetCombineUrlW(wideBase.c_str(), wideTarget.c_str(), nullptr, &length, ICU_NO_ENCODE);
  if (length == 0) return std::nullopt;
  std::wstring combined(length + 1, L'\0');
  if (!InternetCombineUrlW(wideBase.c_str(), wideTarget.c_str(), combined.data(), &length,
                           ICU_NO_ENCODE))
    return std::nullopt;
  combined.resize(length);
  return EscapeUnsafe(Utf8(combined));
}

// An open request: the handle, and for a POST the connection it was sent on.
class TWinInetRequest final : public TInternetRequest {
 public:
  TWinInetRequest(HINTERNET request, HINTERNET connection, const TSettings& settings,
                  std::shared_ptr<bool> busy, int status, std::optional<std::int64_t> length,
                  std::string location)
      : request_(request),
        connection_(connection),
        settings_(settings),
        busy_(std::move(busy)),
        status_(status),
        length_(length),
        location_(std::move(location)) {
    *busy_ = true;
  }

  // Closing may wait for the server too (an FTP server's closing answer), so
  // it is a call like the others; the caller's last error stays as it was.
  ~TWinInetRequest() override {
    const TInternetError last = gLastError;
    HINTERNET request = request_, connection = connection_;
    TCallResult ignored;
    RunCall(
        worker_, settings_,
        [request, connection](TCallResult&) {
          Close(request);
          Close(connection);
          return true;
        },
        ignored);
    gLastError = last;
    *busy_ = false;
  }

  TWinInetRequest(const TWinInetRequest&) = delete;
  TWinInetRequest& operator=(const TWinInetRequest&) = delete;

  int StatusCode() const override { return status_; }
  std::optional<std::int64_t> ContentLength() const override { return length_; }
  std::string EffectiveLocation() const override { return location_; }

  bool Read(void* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    if (failure_) {
      RecordError(failure_->Code, failure_->Text);
      return false;
    }
    if (offset_ == block_.size() && !ended_ && !Fill()) return false;
    if (offset_ == block_.size()) {
      // The connection may close early without the library calling that an
      // error: a body shorter than its announced length is no whole body.
      if (length_ && received_ < *length_) {
        Fail(ERROR_INTERNET_CONNECTION_RESET, "The connection closed after " +
                                                  std::to_string(received_) + " of " +
                                                  std::to_string(*length_) + " bytes");
        return false;
      }
      return true;
    }
    count = std::min(size, block_.size() - offset_);
    std::memcpy(buffer, block_.data() + offset_, count);
    offset_ += count;
    return true;
  }

 private:
  // Waits for the next block of the body; the available bytes are asked for
  // first, since a read for more than has arrived would wait for all of it.
  bool Fill() {
    HINTERNET handle = request_;
    TCallResult result;
    const bool ok = RunCall(
        worker_, settings_,
        [handle](TCallResult& r) {
          DWORD available = 0;
          if (!InternetQueryDataAvailable(handle, &available, 0, 0)) return false;
          // Nothing available is the end of the body, which a read confirms.
          const DWORD want = available > 0 ? std::min(available, kReadBlock) : 4096;
          r.data.resize(want);
          return InternetReadFile(handle, r.data.data(), want, &r.count) != FALSE;
        },
        result);
    if (!ok) {
      failure_ = LastInternetError();
      return false;
    }
    block_ = std::move(result.data);
    block_.resize(result.count);
    offset_ = 0;
    received_ += result.count;
    if (result.count == 0) ended_ = true;
    return true;
  }

  void Fail(int code, std::string text) {
    RecordError(code, text);
    failure_ = TInternetError{code, std::move(text)};
  }

  HINTERNET request_;
  HINTERNET connection_;
  TSettings settings_;
  std::shared_ptr<bool> busy_;
  int status_;
  std::optional<std::int64_t> length_;
  std::string location_;
  TWorker worker_;
  std::vector<char> block_;
  std::size_t offset_ = 0;
  std::int64_t received_ = 0;
  bool ended_ = false;
  std::optional<TInternetError> failure_;
};

class TWinInetFtpConnection final : public TFtpConnection {
 public:
  TWinInetFtpConnection(const TSettings& settings, HINTERNET connection, std::string base)
      : settings_(settings), connection_(connection), base_(std::move(base)) {}
  ~TWinInetFtpConnection() override { Close(connection_); }
  TWinInetFtpConnection(const TWinInetFtpConnection&) = delete;
  TWinInetFtpConnection& operator=(const TWinInetFtpConnection&) = delete;

  bool SetCurrentDirectory(std::string_view directory) override {
    if (RefuseWhileBusy(busy_) || RefuseUnsafe(directory)) return false;
    HINTERNET c = connection_;
    const std::wstring wide = Wide(directory);
    TCallResult result;
    if (!RunCall(
            worker_, settings_,
            [c, wide](TCallResult&) { return FtpSetCurrentDirectoryW(c, wide.c_str()) != FALSE; },
            result))
      return false;
    asked_.reset();
    if (!directory.empty() && directory.front() == '/')
      directory_ = std::string(directory);
    else
      directory_ += (directory_.empty() ? "" : "/") + std::string(directory);
    return true;
  }

  std::optional<std::int64_t> FileSize(std::string_view name) override {
    if (RefuseWhileBusy(busy_) || RefuseUnsafe(name)) return std::nullopt;
    const std::optional<std::int64_t> size = SizeOf(name);
    if (size) asked_ = {std::string(name), *size};
    return size;
  }

  std::unique_ptr<TInternetRequest> OpenFile(std::string_view name) override {
    if (RefuseWhileBusy(busy_) || RefuseUnsafe(name)) return nullptr;
    // The size the server tells beforehand is the length the file must reach;
    // one just asked for is not asked again (without an answer to SIZE that
    // takes a listing, a data connection of its own).
    std::optional<std::int64_t> length;
    if (asked_ && asked_->first == name)
      length = asked_->second;
    else
      length = SizeOf(name);
    asked_.reset();
    HINTERNET c = connection_;
    const std::wstring wide = Wide(name);
    TCallResult result;
    if (!RunCall(
            worker_, settings_,
            [c, wide](TCallResult& r) {
              r.handle = FtpOpenFileW(c, wide.c_str(), GENERIC_READ,
                                      FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0);
              return r.handle != nullptr;
            },
            result))
      return nullptr;
    RecordError(0, "");
    std::string location = base_ + (directory_.empty() || directory_.front() != '/' ? "/" : "") +
                           directory_ + (directory_.empty() ? "" : "/") + std::string(name);
    return std::make_unique<TWinInetRequest>(result.handle, nullptr, settings_, busy_, 0, length,
                                             EscapeUnsafe(location));
  }

 private:
  // A name or folder goes into a command line of its own: a line break in it
  // would end that command and start another.
  static bool RefuseUnsafe(std::string_view text) {
    if (!HoldsLineBreak(text)) return false;
    RecordError(ERROR_INTERNET_INVALID_URL, "A line break in an FTP name");
    return true;
  }

  // The size by the server's SIZE answer; a server without it is asked for a
  // listing of the name instead.
  std::optional<std::int64_t> SizeOf(std::string_view name) {
    HINTERNET c = connection_;
    const std::wstring command = L"SIZE " + Wide(name);
    const std::wstring wide = Wide(name);
    TCallResult result;
    const bool ok = RunCall(
        worker_, settings_,
        [c, command, wide](TCallResult& r) {
          // SIZE counts bytes only in binary mode.
          FtpCommandW(c, FALSE, FTP_TRANSFER_TYPE_BINARY, L"TYPE I", 0, nullptr);
          const BOOL sent =
              FtpCommandW(c, FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr);
          DWORD detail = 0, length = 0;
          InternetGetLastResponseInfoW(&detail, nullptr, &length);
          if (length > 0) {
            r.answer.assign(length + 1, L'\0');
            if (InternetGetLastResponseInfoW(&detail, r.answer.data(), &length))
              r.answer.resize(length);
            else
              r.answer.clear();
          }
          if (sent && r.answer.rfind(L"213 ", 0) == 0) return true;
          if (!r.answer.empty() && r.answer[0] == L'5' && r.answer.rfind(L"500", 0) != 0 &&
              r.answer.rfind(L"502", 0) != 0) {
            r.answer.clear();  // the server knows SIZE and found no such file
            SetLastError(ERROR_INTERNET_EXTENDED_ERROR);
            return false;
          }
          WIN32_FIND_DATAW found{};
          HINTERNET find = FtpFindFirstFileW(
              c, wide.c_str(), &found, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
          if (find == nullptr) return false;
          InternetCloseHandle(find);
          r.answer =
              L"213 " + std::to_wstring((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) |
                                        found.nFileSizeLow);
          return true;
        },
        result);
    if (!ok) return std::nullopt;
    return ParseLength(Utf8(result.answer).substr(4));
  }

  TSettings settings_;
  HINTERNET connection_;
  std::string base_;  // "ftp://host:port"
  std::string directory_;
  // The last size asked for in this folder, by name.
  std::optional<std::pair<std::string, std::int64_t>> asked_;
  TWorker worker_;
  std::shared_ptr<bool> busy_ = std::make_shared<bool>(false);
};

// Base64 of the proxy's Basic login, which goes in a header of its own when
// the proxy is spoken to directly.
std::string Base64(std::string_view text) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, text.size() - i);
    std::uint32_t block = 0;
    for (std::size_t j = 0; j < 3; ++j)
      block = block << 8 | (j < n ? static_cast<unsigned char>(text[i + j]) : 0u);
    for (std::size_t j = 0; j < 4; ++j) out += j <= n ? kDigits[(block >> (18 - 6 * j)) & 63] : '=';
  }
  return out;
}

// FTP through a web proxy. The library speaks FTP only to the server itself,
// which would pass by the proxy the settings name: here each step is an HTTP
// request for the ftp location, sent straight to the proxy on a session of
// its own, and the proxy answers in HTTP. Anything but success is the proxy's
// own answer, never the file.
class TWebProxyFtpConnection final : public TFtpConnection {
 public:
  TWebProxyFtpConnection(HINTERNET direct, const TSettings& settings, std::wstring proxyHost,
                         INTERNET_PORT proxyPort, std::string base)
      : direct_(direct),
        settings_(settings),
        proxyHost_(std::move(proxyHost)),
        proxyPort_(proxyPort),
        base_(std::move(base)) {}
  ~TWebProxyFtpConnection() override { Close(direct_); }
  TWebProxyFtpConnection(const TWebProxyFtpConnection&) = delete;
  TWebProxyFtpConnection& operator=(const TWebProxyFtpConnection&) = delete;

  // Whether the proxy serves the login folder.
  bool Probe() { return Get(DirectoryUrl(directory_)) != nullptr; }

  bool SetCurrentDirectory(std::string_view directory) override {
    if (RefuseWhileBusy(busy_) || HoldsLineBreak(directory)) return false;
    std::string target =
        !directory.empty() && directory.front() == '/'
            ? std::string(directory)
            : directory_ + (directory_.empty() ? "" : "/") + std::string(directory);
    if (!Get(DirectoryUrl(target))) return false;
    directory_ = std::move(target);
    return true;
  }

  std::optional<std::int64_t> FileSize(std::string_view name) override {
    if (RefuseWhileBusy(busy_) || HoldsLineBreak(name)) return std::nullopt;
    const auto request = Get(FileUrl(name));
    if (!request) return std::nullopt;
    return request->ContentLength();
  }

  std::unique_ptr<TInternetRequest> OpenFile(std::string_view name) override {
    if (RefuseWhileBusy(busy_) || HoldsLineBreak(name)) return nullptr;
    return Get(FileUrl(name));
  }

 private:
  std::string DirectoryUrl(const std::string& dir) const { return base_ + FtpUrlPath(dir) + "/"; }
  std::string FileUrl(std::string_view name) const {
    return base_ + FtpUrlPath(directory_) + "/" + EscapeUrlPart(name);
  }

  std::unique_ptr<TWinInetRequest> Get(const std::string& url) {
    HINTERNET direct = direct_;
    const std::wstring host = proxyHost_, object = Wide(url);
    const INTERNET_PORT port = proxyPort_;
    std::wstring headers = L"Cache-Control: no-cache\r\nConnection: close\r\n";
    if (!settings_.proxyUser.empty())
      headers += L"Proxy-Authorization: Basic " +
                 Wide(Base64(settings_.proxyUser + ":" + settings_.proxyPassword)) + L"\r\n";
    TCallResult result;
    if (!RunCall(
            worker_, settings_,
            [=](TCallResult& r) {
              r.connection = InternetConnectW(direct, host.c_str(), port, nullptr, nullptr,
                                              INTERNET_SERVICE_HTTP, 0, 0);
              if (r.connection == nullptr) return false;
              r.handle = HttpOpenRequestW(
                  r.connection, L"GET", object.c_str(), nullptr, nullptr, nullptr,
                  INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI | INTERNET_FLAG_RELOAD |
                      INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE,
                  0);
              return r.handle != nullptr &&
                     HttpSendRequestW(r.handle, headers.c_str(), static_cast<DWORD>(headers.size()),
                                      nullptr, 0) != FALSE;
            },
            result))
      return nullptr;
    const int status = QueryStatus(result.handle);
    if (status < 200 || status >= 300) {
      Close(result.handle);
      Close(result.connection);
      RecordError(ERROR_INTERNET_EXTENDED_ERROR,
                  "The proxy answered with HTTP status " + std::to_string(status));
      return nullptr;
    }
    std::optional<std::int64_t> length;
    if (auto text = QueryHeader(result.handle, HTTP_QUERY_CONTENT_LENGTH))
      length = ParseLength(*text);
    RecordError(0, "");
    return std::make_unique<TWinInetRequest>(result.handle, result.connection, settings_, busy_, 0,
                                             length, url);
  }

  HINTERNET direct_;  // a session of its own without a proxy
  TSettings settings_;
  std::wstring proxyHost_;
  INTERNET_PORT proxyPort_;
  std::string base_;  // "ftp://[user:password@]host:port"
  std::string directory_;
  TWorker worker_;
  std::shared_ptr<bool> busy_ = std::make_shared<bool>(false);
};

// The proxy list the library takes, made of the choice this client makes for
// each scheme, so that the library and the client never disagree.
std::string LibraryProxyList(std::string_view setting) {
  std::string list;
  for (const char* scheme : {"http", "https", "ftp"}) {
    std::string proxy = ProxyFromList(setting, scheme);
    if (proxy.empty()) continue;
    std::string kind = scheme;
    if (const std::size_t colon = proxy.find("://"); colon != std::string::npos) {
      if (LowerCase(proxy.substr(0, 5)) == "socks") kind = "socks";
      proxy.erase(0, colon + 3);
    }
    const std::string entry = kind + "=" + proxy;
    if (list.find(entry) == std::string::npos) list += (list.empty() ? "" : " ") + entry;
  }
  return list;
}

class TWinInetSession final : public TInternetSession {
 public:
  TWinInetSession(HINTERNET session, std::string agent, std::string proxy)
      : session_(session), agent_(std::move(agent)) {
    settings_.proxy = std::move(proxy);
    ApplyStallTimeout();
  }
  ~TWinInetSession() override { Close(session_); }
  TWinInetSession(const TWinInetSession&) = delete;
  TWinInetSession& operator=(const TWinInetSession&) = delete;

  void SetProxyCredentials(std::string_view user, std::string_view password) override {
    settings_.proxyUser = user;
    settings_.proxyPassword = password;
  }

  void SetConnectTimeout(int milliseconds) override {
    DWORD value = static_cast<DWORD>(milliseconds);
    InternetSetOptionW(session_, INTERNET_OPTION_CONNECT_TIMEOUT, &value, sizeof value);
  }

  void SetStallTimeout(int seconds) override {
    settings_.stallSeconds = seconds;
    ApplyStallTimeout();
  }

  void SetIdleHandler(std::function<bool()> idle) override { settings_.idle = std::move(idle); }

  std::unique_ptr<TInternetRequest> OpenUrl(std::string_view url,
                                            const THttpRequestOptions& options) override {
    if (RefuseWhileBusy(busy_)) return nullptr;
    std::string location = EscapeUnsafe(url);
    std::vector<std::string> headers;
    // The library sends "Pragma" for a reload; a cache that reads only the
    // newer header is asked as well.
    if (options.BypassCaches) headers.push_back("Cache-Control: no-cache");
    // A connection that may not serve later requests is closed after this
    // one rather than kept in the library's pool of idle connections.
    if (!options.KeepConnection) headers.push_back("Connection: close");
    headers.insert(headers.end(), options.Headers.begin(), options.Headers.end());
    std::optional<std::string> body = options.PostBody;
    DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI;
    if (options.BypassCaches)
      flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    if (options.KeepConnection) flags |= INTERNET_FLAG_KEEP_CONNECTION;
    if (options.ExistingConnection) flags |= INTERNET_FLAG_EXISTING_CONNECT;
    // Redirections are followed here rather than by the library, which would
    // send the request's own headers, credentials included, to any host.
    for (int hop = 0;; ++hop) {
      HINTERNET request = nullptr, connection = nullptr;
      if (!Send(location, headers, body, flags, request, connection)) return nullptr;
      const int status = QueryStatus(request);
      if (status != 0 && !HasHeaderLines(request)) {
        Close(request);
        Close(connection);
        RecordError(ERROR_HTTP_INVALID_SERVER_RESPONSE, "The server's answer is no HTTP response");
        return nullptr;
      }
      const auto target =
          status == 301 || status == 302 || status == 303 || status == 307 || status == 308
              ? QueryHeader(request, HTTP_QUERY_LOCATION)
              : std::nullopt;
      if (!target) {
        std::optional<std::int64_t> length;
        if (status != 0) {
          if (auto text = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH))
            length = ParseLength(*text);
        } else {
          DWORD high = 0;
          const DWORD low = FtpGetFileSize(request, &high);
          // Some versions of the library answer 0 for every file: a length
          // of 0 is taken as none, which reads the same.
          if ((low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) && (low | high) != 0)
            length = (static_cast<std::int64_t>(high) << 32) | low;
        }
        RecordError(0, "");
        return std::make_unique<TWinInetRequest>(request, connection, settings_, busy_, status,
                                                 length, location);
      }
      Close(request);
      Close(connection);
      const std::optional<std::string> next = Redirected(location, *target);
      if (!next || hop >= 10) {
        RecordError(ERROR_HTTP_REDIRECT_FAILED,
                    next ? "Too many redirections" : "A redirection to no valid location");
        return nullptr;
      }
      // An https request never goes on over another scheme, and a report
      // (RedirectsWithinOrigin) never to another server.
      if (SameText(SchemeOf(location), "https") && !SameText(SchemeOf(*next), "https")) {
        RecordError(ERROR_HTTP_REDIRECT_FAILED, "Redirection refused, it leaves https: " + *next);
        return nullptr;
      }
      if (options.RedirectsWithinOrigin && !SameServer(location, *next)) {
        RecordError(ERROR_HTTP_REDIRECT_FAILED,
                    "Redirection refused, it leaves the request's server: " + *next);
        return nullptr;
      }
      if (!SameServer(location, *next))
        std::erase_if(headers, [](const std::string& h) {
          return h.size() >= 14 && SameText(std::string_view(h).substr(0, 14), "Authorization:");
        });
      // A POST redirected by 301, 302 or 303 goes on as a GET, as browsers do.
      if (body && status != 307 && status != 308) body.reset();
      location = *next;
    }
  }

  std::unique_ptr<TFtpConnection> ConnectFtp(std::string_view host, int port, std::string_view user,
                                             std::string_view password, bool passive) override {
    const bool v6 = host.find(':') != std::string_view::npos && host.front() != '[';
    const std::string server =
        (v6 ? "[" + std::string(host) + "]" : std::string(host)) + ":" + std::to_string(port);
    if (const std::string proxy = ProxyForLocation(settings_.proxy, "ftp://" + server + "/");
        IsWebProxy(proxy))
      return ConnectThroughWebProxy(proxy, server, user, password);
    HINTERNET s = session_;
    const std::wstring wideHost = Wide(host), wideUser = Wide(user), widePassword = Wide(password);
    const bool login = !user.empty();
    TCallResult result;
    if (!RunCall(
            worker_, settings_,
            [=](TCallResult& r) {
              r.handle = InternetConnectW(
                  s, wideHost.c_str(), static_cast<INTERNET_PORT>(port),
                  login ? wideUser.c_str() : nullptr, login ? widePassword.c_str() : nullptr,
                  INTERNET_SERVICE_FTP, passive ? INTERNET_FLAG_PASSIVE : 0, 0);
              return r.handle != nullptr;
            },
            result))
      return nullptr;
    RecordError(0, "");
    return std::make_unique<TWinInetFtpConnection>(settings_, result.handle, "ftp://" + server);
  }

 private:
  std::unique_ptr<TFtpConnection> ConnectThroughWebProxy(const std::string& proxy,
                                                         const std::string& server,
                                                         std::string_view user,
                                                         std::string_view password) {
    const std::optional<TUrlParts> at = CrackUrl(proxy);
    if (!at) {
      RecordError(ERROR_INTERNET_INVALID_PROXY_REQUEST, "No valid proxy: " + proxy);
      return nullptr;
    }
    HINTERNET direct =
        InternetOpenW(Wide(agent_).c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (direct == nullptr) {
      const TError error = CaptureError();
      RecordError(static_cast<int>(error.code), error.text);
      return nullptr;
    }
    const std::string login =
        user.empty() ? "" : EscapeUrlPart(user) + ":" + EscapeUrlPart(password) + "@";
    auto connection = std::make_unique<TWebProxyFtpConnection>(direct, settings_, at->host,
                                                               at->port, "ftp://" + login + server);
    if (!connection->Probe()) return nullptr;
    return connection;
  }

  void ApplyStallTimeout() {
    if (settings_.stallSeconds <= 0) return;
    DWORD ms = static_cast<DWORD>(settings_.stallSeconds) * 1000 + kLibraryTimeoutMarginMs;
    for (DWORD option : {INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT})
      InternetSetOptionW(session_, option, &ms, sizeof ms);
  }

  // Sends one request and waits for its response to start. A proxy that asks
  // for a login is given the proxy credentials, on this request only, and the
  // request is sent again; they never reach the server, since the library
  // answers only its proxy's challenge with them.
  bool Send(const std::string& location, const std::vector<std::string>& headerList,
            const std::optional<std::string>& body, DWORD flags, HINTERNET& request,
            HINTERNET& connection) {
    std::wstring headers;
    for (const std::string& h : headerList) headers += Wide(h) + L"\r\n";
    const std::string proxy = ProxyForLocation(settings_.proxy, location);
    const bool proxyLogin = IsWebProxy(proxy) && !settings_.proxyUser.empty();
    const std::wstring user = Wide(settings_.proxyUser), password = Wide(settings_.proxyPassword);
    const std::wstring wideUrl = Wide(location);
    HINTERNET s = session_;
    std::optional<TUrlParts> parts = CrackUrl(location);
    const bool http =
        parts && (parts->scheme == INTERNET_SCHEME_HTTP || parts->scheme == INTERNET_SCHEME_HTTPS);
    if (body && !http) {
      RecordError(ERROR_INTERNET_INVALID_URL, "Not an HTTP location: " + location);
      return false;
    }
    // The library would log in with the user and password of a location as
    // they are written there, escapes and all: such a request is opened
    // with them decoded.
    const bool login = http && (!parts->user.empty() || !parts->password.empty());
    const wchar_t* method = body ? L"POST" : L"GET";
    TCallResult result;
    const bool ok = RunCall(
        worker_, settings_,
        [=](TCallResult& r) {
          HINTERNET h = nullptr;
          auto resend = [&] {
            return HttpSendRequestW(h, nullptr, 0, body ? const_cast<char*>(body->data()) : nullptr,
                                    body ? static_cast<DWORD>(body->size()) : 0) != FALSE;
          };
          if (!body && !login) {
            h = InternetOpenUrlW(s, wideUrl.c_str(), headers.empty() ? nullptr : headers.c_str(),
                                 static_cast<DWORD>(headers.size()), flags, 0);
            r.handle = h;
            if (h == nullptr) return false;
          } else {
            HINTERNET c =
                InternetConnectW(s, parts->host.c_str(), parts->port,
                                 parts->user.empty() ? nullptr : parts->user.c_str(),
                                 parts->password.empty() ? nullptr : parts->password.c_str(),
                                 INTERNET_SERVICE_HTTP, 0, 0);
            if (c == nullptr) return false;
            r.connection = c;
            const DWORD secure = parts->scheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;
            h = HttpOpenRequestW(c, method, parts->path.c_str(), nullptr, nullptr, nullptr,
                                 flags | secure, 0);
            if (h == nullptr) return false;
            r.handle = h;
            if (!headers.empty())
              HttpAddRequestHeadersW(h, headers.c_str(), static_cast<DWORD>(headers.size()),
                                     HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
            if (!resend()) return false;
          }
          if (proxyLogin && QueryStatus(h) == HTTP_STATUS_PROXY_AUTH_REQ) {
            InternetSetOptionW(h, INTERNET_OPTION_PROXY_USERNAME,
                               const_cast<wchar_t*>(user.c_str()), static_cast<DWORD>(user.size()));
            InternetSetOptionW(h, INTERNET_OPTION_PROXY_PASSWORD,
                               const_cast<wchar_t*>(password.c_str()),
                               static_cast<DWORD>(password.size()));
            if (!resend()) return false;
          }
          return true;
        },
        result);
    if (!ok) return false;
    request = result.handle;
    connection = result.connection;
    return true;
  }

  HINTERNET session_;
  std::string agent_;
  TSettings settings_;
  TWorker worker_;
  std::shared_ptr<bool> busy_ = std::make_shared<bool>(false);
};

bool ValidHost(std::string_view host) {
  if (host.empty()) return false;
  if (host.front() == '[')
    return host.size() > 2 && host.back() == ']' &&
           host.substr(1, host.size() - 2).find_first_not_of("0123456789abcdefABCDEF:.") ==
               std::string_view::npos;
  for (const char ch : host) {
    const auto c = static_cast<unsigned char>(ch);
    if (!(c >= 0x80 || std::isalnum(c) || c == '-' || c == '.' || c == '_')) return false;
  }
  return true;
}

}  // namespace

TInternetError LastInternetError() { return gLastError; }

void SetLastInternetError(int code, std::string text) { RecordError(code, std::move(text)); }

THttpAddressProblem HttpObjectAddress(std::string_view server, int defaultPort,
                                      std::string_view object, std::string& address) {
  std::string host(server);
  std::string port = std::to_string(defaultPort);
  const std::size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
    port = host.substr(colon + 1);
    host.resize(colon);
  }
  const bool portValid = !port.empty() && port.size() <= 5 &&
                         port.find_first_not_of("0123456789") == std::string::npos &&
                         std::stoi(port) <= 65535;
  if (!portValid || !ValidHost(host)) return THttpAddressProblem::BadServer;
  std::string path(object);
  if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
  if (HoldsLineBreak(path)) return THttpAddressProblem::BadObject;
  // The object, query and all, is sent as written: an escape the publisher
  // wrote ("%20", "%2F") stays as it is; only what cannot stand in a request
  // line is escaped.
  address = "http://" + host + ":" + port + EscapeUnsafe(path);
  return THttpAddressProblem::None;
}

std::unique_ptr<TInternetSession> TInternetSession::Open(std::string_view agent,
                                                         std::string_view proxy) {
  const std::wstring wideAgent = Wide(agent);
  HINTERNET session = nullptr;
  if (Trim(proxy).empty()) {
    session = InternetOpenW(wideAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  } else if (const std::string list = LibraryProxyList(proxy); list.empty()) {
    session = InternetOpenW(wideAgent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  } else {
    // No bypass: "<-loopback>" takes away the one the library adds by itself
    // for this computer's own addresses.
    const std::wstring wideList = Wide(list);
    session = InternetOpenW(wideAgent.c_str(), INTERNET_OPEN_TYPE_PROXY, wideList.c_str(),
                            L"<-loopback>", 0);
  }
  if (session == nullptr) {
    const TError error = CaptureError();
    RecordError(static_cast<int>(error.code), error.text);
    return nullptr;
  }
  return std::make_unique<TWinInetSession>(session, std::string(agent), std::string(proxy));
}

}  // namespace kavrel::platform
