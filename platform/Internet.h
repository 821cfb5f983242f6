// The Internet client: one session per update run, HTTP requests opened by URL,
// FTP connections, and pull-style reads of the response body.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrel::platform {

// The last error of the Internet client on this thread: a number (0 for none)
// and the client's text for it.
struct TInternetError {
  int Code = 0;
  std::string Text;
};
TInternetError LastInternetError();
// Records an error of the caller's own (a transfer asked for without a
// connection), so that the next report tells the right reason.
void SetLastInternetError(int code, std::string text);

// A handle the transfers go through: the session itself for HTTP, an FTP
// connection for FTP.
class TInternetHandle {
 public:
  virtual ~TInternetHandle() = default;
};

// An open request: its status and length are known, its body is read in blocks.
class TInternetRequest {
 public:
  virtual ~TInternetRequest() = default;
  // The HTTP status, 0 when the request has none (FTP).
  virtual int StatusCode() const = 0;
  // The announced length of the body, or nothing when none was announced.
  virtual std::optional<std::int64_t> ContentLength() const = 0;
  // Reads at most `size` bytes into `buffer`; `count` is 0 at the end of the
  // body. False when reading failed, a body shorter than its announced length
  // included (the last error tells why).
  virtual bool Read(void* buffer, std::size_t size, std::size_t& count) = 0;
  // The location that answered: the one asked for, or where redirections led.
  virtual std::string EffectiveLocation() const = 0;
};

struct THttpRequestOptions {
  std::vector<std::string> Headers;     // extra request headers, "Name: value"
  bool KeepConnection = false;          // the connection may serve later requests
  bool ExistingConnection = false;      // use an open connection to the host if there is one
  bool BypassCaches = true;             // ask caches on the way for the server's current copy
  std::optional<std::string> PostBody;  // sent as a POST when present, byte for byte
  // Redirections are followed only to the same scheme, host and port; one to
  // another origin fails (a report is never re-sent elsewhere).
  bool RedirectsWithinOrigin = false;
};
// Whatever the options, a redirection never takes an https request to another
// scheme: it fails, and the last error names the refused address.

// The plain-HTTP address of an object on a web server. The server is a host
// name or address, optionally with ":port" (else `defaultPort`).
enum class THttpAddressProblem { None, BadServer, BadObject };
THttpAddressProblem HttpObjectAddress(std::string_view server, int defaultPort,
                                      std::string_view object, std::string& address);

class TFtpConnection : public TInternetHandle {
 public:
  // Changes the directory later requests are made in, relative to the current
  // one (or absolute when it starts with "/"). False when the server refuses.
  virtual bool SetCurrentDirectory(std::string_view directory) = 0;
  // The size of a file in the current directory, or nothing when not found.
  virtual std::optional<std::int64_t> FileSize(std::string_view name) = 0;
  // Opens a file of the current directory for reading; nothing on failure.
  virtual std::unique_ptr<TInternetRequest> OpenFile(std::string_view name) = 0;
};

// The proxy a transfer of the location goes through ("http://host:port"), or
// "" for a direct connection. A proxy setting is a list as the session takes
// it; an empty one leaves the choice to the system's own configuration.
std::string ProxyForLocation(std::string_view proxySetting, std::string_view location);

class TInternetSession : public TInternetHandle {
 public:
  // Nothing when the client cannot be started (the last error tells why).
  // The proxy is a list of "scheme=host:port" entries and at most one
  // "host:port" for the schemes without their own, used with no bypass; an
  // empty one means the system's configuration (ProxyForLocation).
  static std::unique_ptr<TInternetSession> Open(std::string_view agent, std::string_view proxy);

  // The user and password a proxy is logged in with. They go to the proxy
  // only, never to the server a transfer is for.
  virtual void SetProxyCredentials(std::string_view user, std::string_view password) = 0;

  virtual void SetConnectTimeout(int milliseconds) = 0;
  // A transfer that receives nothing for this long fails (the default is
  // kDefaultStallSeconds), so that a server that stops answering cannot hold
  // a run for ever.
  static constexpr int kDefaultStallSeconds = 60;
  virtual void SetStallTimeout(int seconds) = 0;
  // Called while a request waits for the network, so that the window system
  // stays live. It returns false to abandon the transfer (the user
  // cancelled), which then fails at once.
  virtual void SetIdleHandler(std::function<bool()> idle) = 0;
  // Opens an HTTP(S) or FTP location and waits for the response to start;
  // nothing when no response came (the last error tells why).
  virtual std::unique_ptr<TInternetRequest> OpenUrl(std::string_view url,
                                                    const THttpRequestOptions& options) = 0;
  // Connects and logs in; anonymously when `user` is empty. Nothing on failure.
  virtual std::unique_ptr<TFtpConnection> ConnectFtp(std::string_view host, int port,
                                                     std::string_view user,
                                                     std::string_view password, bool passive) = 0;
};

// The three dial-up entry points. Each holds the entry when the system has it;
// an empty one counts as having returned -1. Tests may install stand-ins.
struct TDialupEntries {
  std::function<int()> GetConnectedState;
  std::function<int(int flags)> Autodial;
  std::function<int()> AutodialHangup;
};
TDialupEntries& DialupEntries();

}  // namespace kavrel::platform
