// The Internet client on libcurl. A request is driven through the multi
// interface so that the caller pulls the body in small blocks: the write
// callback fills a buffer and pauses the transfer once the buffer holds enough,
// and reading drains it.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "Internet.h"
#include "ProxySelection.h"
#include "System.h"
#include "Text.h"

namespace kavrel::platform {

namespace {

thread_local TInternetError gLastError;

void SetLastError(int code, std::string text) {
  gLastError.Code = code;
  gLastError.Text = std::move(text);
}

// The client's own text for the number: the detail buffer may hold an earlier,
// harmless message of the same transfer, which would mislead.
void SetCurlError(CURLcode code) { SetLastError(static_cast<int>(code), curl_easy_strerror(code)); }

// A web proxy answers an ftp location in HTTP; anything but success is its own
// error page, never the file.
bool RefuseProxyAnswer(long status) {
  if (status >= 200 && status < 300) return false;
  SetLastError(CURLE_HTTP_RETURNED_ERROR,
               "The proxy answered with HTTP status " + std::to_string(status));
  return true;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One handle serves one transfer at a time: a request made from an event
// handler while another transfer of the same connection runs is refused.
bool RefuseWhileBusy(bool busy) {
  if (busy) SetLastError(CURLE_FAILED_INIT, "Another transfer of this connection is under way");
  return busy;
}

// Above this many buffered bytes the transfer waits until the reader catches up.
constexpr std::size_t kBufferCap = 256 * 1024;
constexpr int kPollMilliseconds = 50;

using TCurlPtr = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using TMultiPtr = std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)>;

// One transfer on an easy handle that its owner keeps for later transfers, so
// that the connection can serve them too.
class TCurlTransfer final : public TInternetRequest {
 public:
  // A transfer fails once it has received nothing for `stallSeconds` while
  // its reader waits.
  TCurlTransfer(CURLM* multi, CURL* easy, std::function<bool()> idle, bool& busy, long stallSeconds)
      : multi_(multi),
        easy_(easy),
        idle_(std::move(idle)),
        busy_(busy),
        stallLimit_(std::chrono::seconds(stallSeconds)) {
    busy_ = true;
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &TCurlTransfer::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &TCurlTransfer::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &TCurlTransfer::OnProgress);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
  }

  ~TCurlTransfer() override {
    busy_ = false;
    if (added_) curl_multi_remove_handle(multi_, easy_);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, nullptr);
  }

  TCurlTransfer(const TCurlTransfer&) = delete;
  TCurlTransfer& operator=(const TCurlTransfer&) = delete;

  // Starts the transfer and waits until its response begins (a final header
  // block, body bytes or its end). False when it ended in failure before that.
  bool Start() {
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
      SetLastError(CURLE_FAILED_INIT, "Cannot start the transfer");
      return false;
    }
    added_ = true;
    Drive([this] { return responseStarted_ || Available() > 0; });
    if (done_ && result_ != CURLE_OK && !responseStarted_ && Available() == 0) {
      SetResultError();
      return false;
    }
    SetLastError(0, "");
    return true;
  }

  // Runs one body-less transfer to its end. False on failure.
  bool RunToEnd() {
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) return false;
    added_ = true;
    Drive([] { return false; });
    if (result_ != CURLE_OK) {
      SetResultError();
      return false;
    }
    return true;
  }

  int StatusCode() const override {
    long code = 0;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
    return static_cast<int>(code);
  }

  std::string EffectiveLocation() const override {
    char* url = nullptr;
    curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &url);
    return url != nullptr ? url : "";
  }

  std::optional<std::int64_t> ContentLength() const override {
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
        length < 0)
      return std::nullopt;
    return static_cast<std::int64_t>(length);
  }

  bool Read(void* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    if (Available() == 0 && !done_) Drive([this] { return Available() > 0; });
    if (Available() == 0) {
      if (done_ && result_ != CURLE_OK) {
        SetResultError();
        return false;
      }
      return true;
    }
    count = std::min(size, Available());
    std::memcpy(buffer, buffer_.data() + offset_, count);
    offset_ += count;
    if (offset_ == buffer_.size()) {
      buffer_.clear();
      offset_ = 0;
    }
    if (paused_ && Available() < kBufferCap / 2) {
      paused_ = false;
      lastActivity_ = std::chrono::steady_clock::now();
      curl_easy_pause(easy_, CURLPAUSE_CONT);  // may deliver data right away
    }
    return true;
  }

  // An https transfer follows https redirections only.
  void KeepToHttps() {
    httpsOnly_ = true;
    curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  }

 private:
  std::size_t Available() const { return buffer_.size() - offset_; }

  void SetResultError() const {
    char* url = nullptr;
    if (httpsOnly_ && result_ == CURLE_UNSUPPORTED_PROTOCOL &&
        curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url != nullptr)
      SetLastError(result_, std::string("Redirection refused, it leaves https: ") + url);
    else if (abandoned_)
      SetLastError(CURLE_ABORTED_BY_CALLBACK, "The transfer was cancelled");
    else if (stalled_)
      SetLastError(CURLE_OPERATION_TIMEDOUT,
                   "Nothing received for " + std::to_string(stallLimit_.count()) + " seconds");
    else
      SetCurlError(result_);
  }

  template <typename Pred>
  void Drive(Pred enough) {
    auto lastIdle = std::chrono::steady_clock::now();
    // Only time spent waiting here counts: bytes that came while the reader
    // was busy elsewhere are picked up at the next turn.
    lastActivity_ = lastIdle;
    while (!done_) {
      int running = 0;
      curl_multi_perform(multi_, &running);
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_) {
          done_ = true;
          result_ = msg->data.result;
        }
      }
      if (done_ || enough()) return;
      curl_multi_poll(multi_, nullptr, 0, kPollMilliseconds, nullptr);
      const auto now = std::chrono::steady_clock::now();
      if (idle_ && now - lastIdle >= std::chrono::milliseconds(kPollMilliseconds)) {
        lastIdle = now;
        if (!idle_()) {
          abandoned_ = done_ = true;
          result_ = CURLE_ABORTED_BY_CALLBACK;
          return;
        }
      }
    }
  }

  // Any byte in either direction, a header included, shows the peer is alive.
  static int OnProgress(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* t = static_cast<TCurlTransfer*>(self);
    if (t == nullptr) return 0;
    const auto now = std::chrono::steady_clock::now();
    if (received + sent != t->moved_) {
      t->moved_ = received + sent;
      t->lastActivity_ = now;
    } else if (now - t->lastActivity_ >= t->stallLimit_) {
      t->stalled_ = true;
      return 1;
    }
    return 0;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<TCurlTransfer*>(self);
    const std::size_t n = size * count;
    t->responseStarted_ = true;
    if (t->Available() > 0 && t->Available() + n > kBufferCap) {
      t->paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (t->offset_ > 0 && t->offset_ >= t->buffer_.size() / 2) {
      t->buffer_.erase(t->buffer_.begin(),
                       t->buffer_.begin() + static_cast<std::ptrdiff_t>(t->offset_));
      t->offset_ = 0;
    }
    t->buffer_.insert(t->buffer_.end(), data, data + n);
    return n;
  }

  // A blank line ends a header block; the response has started unless that
  // block was an interim one or a redirection that is being followed.
  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<TCurlTransfer*>(self);
    const std::size_t n = size * count;
    t->lastActivity_ = std::chrono::steady_clock::now();
    const std::string_view line(data, n);
    if (line.size() >= 9 && line.substr(0, 5) == "HTTP/") {
      t->sawLocation_ = false;
    } else if (line.size() >= 9 && SameText(line.substr(0, 9), "Location:")) {
      t->sawLocation_ = true;
    } else if (line == "\r\n" || line == "\n") {
      long code = 0;
      curl_easy_getinfo(t->easy_, CURLINFO_RESPONSE_CODE, &code);
      const bool interim = code >= 100 && code < 200;
      const bool redirected = code >= 300 && code < 400 && t->sawLocation_;
      if (!interim && !redirected) t->responseStarted_ = true;
    }
    return n;
  }

  CURLM* multi_;
  CURL* easy_;
  std::function<bool()> idle_;
  bool& busy_;  // the handle serves this transfer
  std::vector<char> buffer_;
  std::size_t offset_ = 0;
  bool added_ = false;
  bool paused_ = false;
  bool done_ = false;
  bool responseStarted_ = false;
  bool sawLocation_ = false;
  CURLcode result_ = CURLE_OK;
  bool httpsOnly_ = false;
  std::chrono::seconds stallLimit_;
  std::chrono::steady_clock::time_point lastActivity_;
  curl_off_t moved_ = 0;
  bool stalled_ = false;
  bool abandoned_ = false;
};

// Settings every handle of a session shares.
struct TSessionSettings {
  std::string caBundle;
  std::string agent;
  std::string proxy;  // the session's proxy list; empty for the system's configuration
  std::string proxyUser;
  std::string proxyPassword;
  long connectTimeoutMs = 0;
  long stallSeconds = TInternetSession::kDefaultStallSeconds;
  std::function<bool()> idle;
};

// Prepares the handle for a transfer of the location and tells the proxy it
// goes through ("" for none). The proxy is always chosen here and given
// explicitly, with no bypass list: left unset, the client would consult the
// environment on its own terms.
std::string ApplyCommon(CURL* easy, const TSessionSettings& s, std::string_view location) {
  curl_easy_reset(easy);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, s.agent.c_str());
  const std::string proxy = ProxyForLocation(s.proxy, location);
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  if (!proxy.empty() && !s.proxyUser.empty()) {
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, s.proxyUser.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, s.proxyPassword.c_str());
    // Basic, sent with the first request: a negotiated method would answer
    // 407 first, which would read as the response.
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
  }
  if (s.connectTimeoutMs > 0) curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, s.connectTimeoutMs);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // Large receive blocks: fewer callbacks for the same bytes.
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp,ftps");
  // Certificates are always verified; a publisher with a private authority
  // names its certificates' file here instead of the system's store.
  if (!s.caBundle.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, s.caBundle.c_str());
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp,ftps");
  return proxy;
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

class TCurlFtpConnection final : public TFtpConnection {
 public:
  TCurlFtpConnection(const TSessionSettings& settings, std::string host, int port, std::string user,
                     std::string password, bool passive)
      : settings_(settings),
        easy_(curl_easy_init(), &curl_easy_cleanup),
        multi_(curl_multi_init(), &curl_multi_cleanup),
        host_(std::move(host)),
        port_(port),
        user_(std::move(user)),
        password_(std::move(password)),
        passive_(passive) {}

  // Logs in by asking for the login directory itself, with no listing.
  bool Login() {
    if (!easy_ || !multi_) {
      SetLastError(CURLE_FAILED_INIT, "Cannot start the FTP client");
      return false;
    }
    return Probe(DirectoryUrl(directory_));
  }

  bool SetCurrentDirectory(std::string_view directory) override {
    if (RefuseWhileBusy(busy_)) return false;
    std::string target;
    if (!directory.empty() && directory.front() == '/')
      target = std::string(directory);
    else
      target =
          directory_.empty() ? std::string(directory) : directory_ + "/" + std::string(directory);
    if (!Probe(DirectoryUrl(target))) return false;
    directory_ = target;
    return true;
  }

  std::optional<std::int64_t> FileSize(std::string_view name) override {
    if (RefuseWhileBusy(busy_)) return std::nullopt;
    Prepare(FileUrl(name));
    curl_easy_setopt(easy_.get(), CURLOPT_NOBODY, 1L);
    TCurlTransfer transfer(multi_.get(), easy_.get(), settings_.idle, busy_,
                           settings_.stallSeconds);
    if (!transfer.RunToEnd() || RefusedByProxy(transfer)) return std::nullopt;
    return transfer.ContentLength();
  }

  std::unique_ptr<TInternetRequest> OpenFile(std::string_view name) override {
    if (RefuseWhileBusy(busy_)) return nullptr;
    Prepare(FileUrl(name));
    auto transfer = std::make_unique<TCurlTransfer>(multi_.get(), easy_.get(), settings_.idle,
                                                    busy_, settings_.stallSeconds);
    if (!transfer->Start() || RefusedByProxy(*transfer)) return nullptr;
    return transfer;
  }

 private:
  // An IPv6 address stands in brackets in a location.
  std::string Base() const {
    const bool v6 = host_.find(':') != std::string::npos && host_.front() != '[';
    return "ftp://" + (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
  }

  bool RefusedByProxy(const TCurlTransfer& transfer) const {
    return throughWebProxy_ && RefuseProxyAnswer(transfer.StatusCode());
  }

  std::string DirectoryUrl(const std::string& dir) { return Base() + FtpUrlPath(dir) + "/"; }
  std::string FileUrl(std::string_view name) {
    return Base() + FtpUrlPath(directory_) + "/" + EscapeUrlPart(name);
  }

  void Prepare(const std::string& url) {
    CURL* e = easy_.get();
    url_ = EscapeUnsafe(url);
    throughWebProxy_ = IsWebProxy(ApplyCommon(e, settings_, url_));
    curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
    if (!user_.empty()) {
      curl_easy_setopt(e, CURLOPT_USERNAME, user_.c_str());
      curl_easy_setopt(e, CURLOPT_PASSWORD, password_.c_str());
    }
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    if (!passive_) curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L);
  }

  bool Probe(const std::string& url) {
    Prepare(url);
    curl_easy_setopt(easy_.get(), CURLOPT_NOBODY, 1L);
    TCurlTransfer transfer(multi_.get(), easy_.get(), settings_.idle, busy_,
                           settings_.stallSeconds);
    return transfer.RunToEnd() && !RefusedByProxy(transfer);
  }

  TSessionSettings settings_;
  TCurlPtr easy_;
  TMultiPtr multi_;
  std::string host_;
  int port_;
  std::string user_;
  std::string password_;
  bool passive_;
  std::string directory_;
  std::string url_;
  bool throughWebProxy_ = false;  // answers come from a web proxy, in HTTP
  bool busy_ = false;
};

class TCurlSession final : public TInternetSession {
 public:
  TCurlSession(std::string_view agent, std::string_view proxy)
      : easy_(curl_easy_init(), &curl_easy_cleanup),
        multi_(curl_multi_init(), &curl_multi_cleanup) {
    settings_.agent = agent;
    settings_.proxy = proxy;
    settings_.caBundle = GetEnvironment("KAVREL_CA_BUNDLE").value_or("");
  }

  bool Valid() const { return easy_ && multi_; }

  void SetProxyCredentials(std::string_view user, std::string_view password) override {
    settings_.proxyUser = user;
    settings_.proxyPassword = password;
  }
  void SetConnectTimeout(int milliseconds) override { settings_.connectTimeoutMs = milliseconds; }
  void SetStallTimeout(int seconds) override { settings_.stallSeconds = seconds; }
  void SetIdleHandler(std::function<bool()> idle) override { settings_.idle = std::move(idle); }

  std::unique_ptr<TInternetRequest> OpenUrl(std::string_view url,
                                            const THttpRequestOptions& options) override {
    return Open(url, options, 0);
  }

  std::unique_ptr<TFtpConnection> ConnectFtp(std::string_view host, int port, std::string_view user,
                                             std::string_view password, bool passive) override {
    auto connection = std::make_unique<TCurlFtpConnection>(
        settings_, std::string(host), port, std::string(user), std::string(password), passive);
    if (!connection->Login()) return nullptr;
    return connection;
  }

 private:
  static constexpr int kMaxRedirections = 10;

  std::unique_ptr<TInternetRequest> Open(std::string_view url, const THttpRequestOptions& options,
                                         int hop) {
    if (RefuseWhileBusy(busy_)) return nullptr;
    CURL* e = easy_.get();
    url_ = EscapeUnsafe(url);
    ApplyCommon(e, settings_, url_);
    curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, options.RedirectsWithinOrigin ? 0L : 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, options.KeepConnection ? 0L : 1L);
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, options.ExistingConnection ? 0L : 1L);
    curl_slist* headers = nullptr;
    if (options.BypassCaches) {
      headers = curl_slist_append(headers, "Pragma: no-cache");
      headers = curl_slist_append(headers, "Cache-Control: no-cache");
    }
    if (options.PostBody) {
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(options.PostBody->size()));
      curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, options.PostBody->data());
      headers = curl_slist_append(headers, "Expect:");  // send the body at once
      headers = curl_slist_append(headers, "Accept:");  // the report asks for no kind of reply
    }
    for (const std::string& h : options.Headers) headers = curl_slist_append(headers, h.c_str());
    headers_.reset(headers);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers_.get());
    auto transfer = std::make_unique<TCurlTransfer>(multi_.get(), e, settings_.idle, busy_,
                                                    settings_.stallSeconds);
    if (LowerCase(SchemeOf(url)) == "https") transfer->KeepToHttps();
    if (!transfer->Start()) return nullptr;
    if (options.RedirectsWithinOrigin) return FollowWithinOrigin(std::move(transfer), options, hop);
    return transfer;
  }

  // Follows a redirection by hand when it stays with the request's origin.
  std::unique_ptr<TInternetRequest> FollowWithinOrigin(std::unique_ptr<TCurlTransfer> transfer,
                                                       const THttpRequestOptions& options,
                                                       int hop) {
    const int status = transfer->StatusCode();
    char* next = nullptr;
    if (status < 300 || status > 399 ||
        curl_easy_getinfo(easy_.get(), CURLINFO_REDIRECT_URL, &next) != CURLE_OK || next == nullptr)
      return transfer;
    const std::string target = next;
    const std::string from = url_;
    transfer.reset();
    if (OriginOf(from) != OriginOf(target) || hop >= kMaxRedirections) {
      SetLastError(CURLE_TOO_MANY_REDIRECTS,
                   hop >= kMaxRedirections
                       ? std::string("Too many redirections")
                       : "Redirection refused, it leaves the request's server: " + target);
      return nullptr;
    }
    THttpRequestOptions again = options;
    // A POST redirected by 301, 302 or 303 goes on as a GET, as browsers do.
    if (status != 307 && status != 308) again.PostBody.reset();
    return Open(target, again, hop + 1);
  }

  struct TSlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
  };
  TSessionSettings settings_;
  TCurlPtr easy_;
  TMultiPtr multi_;
  std::string url_;
  std::unique_ptr<curl_slist, TSlistFree> headers_;
  bool busy_ = false;
};

}  // namespace

TInternetError LastInternetError() { return gLastError; }

void SetLastInternetError(int code, std::string text) { SetLastError(code, std::move(text)); }

THttpAddressProblem HttpObjectAddress(std::string_view server, int defaultPort,
                                      std::string_view object, std::string& address) {
  GlobalInit();
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
  if (!url) return THttpAddressProblem::BadServer;
  std::string host(server);
  std::string port = std::to_string(defaultPort);
  const std::size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
    port = host.substr(colon + 1);
    host.resize(colon);
  }
  const bool portValid = !port.empty() && port.size() <= 5 &&
                         port.find_first_not_of("0123456789") == std::string::npos;
  if (host.empty() || !portValid || host.find_first_of("/?#@ \t\r\n") != std::string::npos ||
      curl_url_set(url.get(), CURLUPART_SCHEME, "http", 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_HOST, host.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_PORT, port.c_str(), 0) != CURLUE_OK)
    return THttpAddressProblem::BadServer;
  std::string path(object);
  if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
  if (path.find_first_of("\r\n") != std::string::npos) return THttpAddressProblem::BadObject;
  char* text = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK)
    return THttpAddressProblem::BadObject;
  // The object, query and all, is sent as written: an escape the publisher
  // wrote ("%20", "%2F") stays as it is; only what cannot stand in a request
  // line is escaped.
  std::string base = text;
  curl_free(text);
  if (!base.empty() && base.back() == '/') base.pop_back();
  address = base + EscapeUnsafe(path);
  return THttpAddressProblem::None;
}

std::unique_ptr<TInternetSession> TInternetSession::Open(std::string_view agent,
                                                         std::string_view proxy) {
  GlobalInit();
  auto session = std::make_unique<TCurlSession>(agent, proxy);
  if (!session->Valid()) {
    SetLastError(CURLE_FAILED_INIT, "Cannot start the Internet client");
    return nullptr;
  }
  return session;
}

}  // namespace kavrel::platform
