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
};

struct THttpRequestOptions {
  std::vector<std::string> Headers;     // extra request headers, "Name: value"
  bool KeepConnection = false;          // the connection may serve later requests
  bool ExistingConnection = false;      // use an open connection to the host if there is one
  bool BypassCaches = true;             // ask caches on the way for the server's current copy
  std::optional<std::string> PostBody;  // sent as a POST when present, byte for byte
};

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

class TInternetSession : public TInternetHandle {
 public:
  // Nothing when the client cannot be started (the last error tells why).
  // An empty proxy means a direct connection, whatever the environment says.
  static std::unique_ptr<TInternetSession> Open(std::string_view agent, std::string_view proxy);

  virtual void SetConnectTimeout(int milliseconds) = 0;
  // A transfer that receives nothing for this long fails (the default is
  // kDefaultStallSeconds), so that a server that stops answering cannot hold
  // a run for ever.
  static constexpr int kDefaultStallSeconds = 60;
  virtual void SetStallTimeout(int seconds) = 0;
  // Called while a request waits for the network, so that the window system
  // stays live.
  virtual void SetIdleHandler(std::function<void()> idle) = 0;
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
