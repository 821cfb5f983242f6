// Real servers for the transfer tests: the Python scripts in tests/servers run
// as child processes on free ports of 127.0.0.1 and are stopped when the test
// object goes. The behaviours a path selects are described at the top of each
// script. Failures to start or to talk to a server are thrown as
// std::runtime_error, which fails the running test with the message.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavrel::test {

using THeaders = std::vector<std::pair<std::string, std::string>>;

// The first value of a header, its name compared without ASCII case.
std::optional<std::string> FindHeader(const THeaders& headers, std::string_view name);

class TLoopbackConnection;

// One of the server scripts running as a child process. A Windows test
// program cannot start a Linux program it can stop again: there the server
// starter the test run provides (tests/servers/starter.py, its port in
// KAVREL_TEST_SERVER_STARTER) runs the script, for as long as the program
// keeps its connection to it.
class TServerProcess {
 public:
  // Starts /usr/bin/python3 with the script (a file name in tests/servers)
  // and its arguments, and waits up to `timeout` for its "PORT n" line.
  TServerProcess(const std::string& script, const std::vector<std::string>& args,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Closes the server's stdin, sends SIGTERM and waits for it to end (SIGKILL
  // after a few seconds).
  ~TServerProcess();
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;

  int Port() const { return port_; }
#ifndef _WIN32
  pid_t Pid() const { return pid_; }
#endif

 private:
  // Stops the child and tells how it ended.
  std::string Stop();

#ifdef _WIN32
  std::unique_ptr<TLoopbackConnection> starter_;  // closed, the server stops
#else
  pid_t pid_ = -1;
  int stdin_ = -1;   // our end of the child's stdin
  int stdout_ = -1;  // our end of the child's stdout
#endif
  int port_ = 0;
};

// One request as the HTTP server logged it. Header values and the body hold
// the bytes that were sent.
struct TRecordedRequest {
  std::string Method;
  std::string Path;  // as sent: with the query
  std::string Version;
  THeaders Headers;
  std::string Body;

  std::optional<std::string> Header(std::string_view name) const {
    return FindHeader(Headers, name);
  }
};

// tests/servers/http_server.py serving `root`.
class THttpTestServer : public TServerProcess {
 public:
  // Without a user the "auth" paths always answer 401.
  explicit THttpTestServer(const std::string& root, std::optional<std::string> user = std::nullopt,
                           const std::string& password = "");

  // "http://127.0.0.1:PORT/" followed by the path (a leading "/" is optional).
  std::string Url(std::string_view path) const;
  // The requests served so far, oldest first (the log's own paths excluded).
  std::vector<TRecordedRequest> Requests() const;
  void ClearRequests() const;
};

// tests/servers/ftp_server.py serving `root` to `user` (full access) and to
// anonymous users (read only). A read limit in bytes per second slows
// downloads down.
class TFtpTestServer : public TServerProcess {
 public:
  // With `dropAfter`, every download's data connection is closed after that
  // many bytes.
  TFtpTestServer(const std::string& root, const std::string& user, const std::string& password,
                 int readLimit = 0, int dropAfter = 0);

  // "ftp://127.0.0.1:PORT/" followed by the path (a leading "/" is optional).
  std::string Url(std::string_view path) const;
  // How each data connection served so far was made, oldest first: "active"
  // (the server connected to the client after PORT or EPRT) or "passive" (the
  // client connected after PASV or EPSV).
  std::vector<std::string> DataConnections() const;
};

// tests/servers/proxy_server.py: tinyproxy on 127.0.0.1, asking for Basic
// proxy authentication when given a user. Requests it passes on carry "Via".
class TProxyTestServer : public TServerProcess {
 public:
  explicit TProxyTestServer(std::optional<std::string> user = std::nullopt,
                            const std::string& password = "");
  // "127.0.0.1:PORT", as a proxy setting names it.
  std::string Address() const { return "127.0.0.1:" + std::to_string(Port()); }
};

// A blocking TCP connection to 127.0.0.1, for talking to the servers
// directly. Every read and write gives up after the time-out.
class TLoopbackConnection {
 public:
  explicit TLoopbackConnection(int port,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10));
  ~TLoopbackConnection();
  TLoopbackConnection(const TLoopbackConnection&) = delete;
  TLoopbackConnection& operator=(const TLoopbackConnection&) = delete;

  void Send(std::string_view data);
  // One line without its CR LF; throws at the end of the stream.
  std::string ReadLine();
  // Everything up to the end of the stream.
  std::string ReadToEnd();

 private:
  bool Fill();  // false at the end of the stream

  std::intptr_t fd_ = -1;  // a socket
  std::string buffer_;
};

struct THttpReply {
  int Status = 0;
  THeaders Headers;
  std::string Body;  // as received; a chunked body is decoded

  std::optional<std::string> Header(std::string_view name) const {
    return FindHeader(Headers, name);
  }
};

// One HTTP/1.1 request over a fresh connection ("Connection: close"); extra
// header lines are given without CR LF. A body gets its Content-Length.
THttpReply HttpRequest(int port, std::string_view method, std::string_view path,
                       const std::vector<std::string>& headers = {}, std::string_view body = {});
inline THttpReply HttpGet(int port, std::string_view path,
                          const std::vector<std::string>& headers = {}) {
  return HttpRequest(port, "GET", path, headers);
}

// The bytes the HTTP server generates for /gen/<size>: byte i is i % 251.
std::string GeneratedBytes(std::size_t size);

}  // namespace kavrel::test
