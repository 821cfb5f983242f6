#include "TestServers.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "Text.h"

#ifndef KAVREL_TEST_SERVERS_DIR
#error "KAVREL_TEST_SERVERS_DIR must name the folder of the server scripts"
#endif

namespace kavrel::test {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

// The few calls in which sockets differ between the systems.
#ifdef _WIN32
using TSendSize = int;
constexpr int kNoSignal = 0;
int SocketError() { return ::WSAGetLastError(); }
bool Interrupted(int) { return false; }
bool TimedOut(int error) { return error == WSAETIMEDOUT || error == WSAEWOULDBLOCK; }
bool Reset(int error) { return error == WSAECONNRESET || error == WSAECONNABORTED; }
void CloseSocket(std::intptr_t& s) {
  if (s != -1) ::closesocket(static_cast<SOCKET>(s));
  s = -1;
}
void SetTimeouts(SOCKET s, std::chrono::milliseconds timeout) {
  const DWORD ms = static_cast<DWORD>(timeout.count());
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}
SOCKET NewSocket() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started ? ::socket(AF_INET, SOCK_STREAM, 0) : INVALID_SOCKET;
}
#else
using TSendSize = std::size_t;
constexpr int kNoSignal = MSG_NOSIGNAL;
int SocketError() { return errno; }
bool Interrupted(int error) { return error == EINTR; }
bool TimedOut(int error) { return error == EAGAIN || error == EWOULDBLOCK; }
bool Reset(int error) { return error == ECONNRESET; }
void CloseSocket(std::intptr_t& s) {
  if (s >= 0) ::close(static_cast<int>(s));
  s = -1;
}
void SetTimeouts(int s, std::chrono::milliseconds timeout) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}
int NewSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
#endif

std::string SocketFailure(const std::string& what, int error) {
  return what + ": error " + std::to_string(error) + " (" + std::strerror(error) + ")";
}

std::string JoinPath(std::string_view base, std::string_view path) {
  std::string out(base);
  if (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return out.append(path);
}

// ---- The request log's JSON ----

// A reader for the JSON the HTTP server writes for its request log. Strings
// carry bytes as code points 0 to 255; a higher code point becomes UTF-8.
class TJsonReader {
 public:
  explicit TJsonReader(std::string_view text) : text_(text) {}

  std::vector<TRecordedRequest> RequestLog() {
    std::vector<TRecordedRequest> out;
    ForEachElement([&] { out.push_back(Request()); });
    SkipBlanks();
    if (pos_ != text_.size()) Error("text after the log");
    return out;
  }

 private:
  TRecordedRequest Request() {
    TRecordedRequest r;
    Expect('{');
    if (!Consume('}')) {
      do {
        const std::string key = String();
        Expect(':');
        if (key == "method")
          r.Method = String();
        else if (key == "path")
          r.Path = String();
        else if (key == "version")
          r.Version = String();
        else if (key == "body")
          r.Body = String();
        else if (key == "headers")
          ForEachElement([&] {
            Expect('[');
            std::string name = String();
            Expect(',');
            std::string value = String();
            Expect(']');
            r.Headers.emplace_back(std::move(name), std::move(value));
          });
        else
          Error("unexpected key " + key);
      } while (Consume(','));
      Expect('}');
    }
    return r;
  }

  template <typename F>
  void ForEachElement(F element) {
    Expect('[');
    if (Consume(']')) return;
    do element();
    while (Consume(','));
    Expect(']');
  }

  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      if (pos_ >= text_.size()) Error("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (pos_ >= text_.size()) Error("unterminated escape");
      const char e = text_[pos_++];
      switch (e) {
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u':
          AppendCodePoint(out, CodePoint());
          break;
        default:
          out.push_back(e);
          break;  // '"', '\\', '/'
      }
    }
  }

  std::uint32_t CodePoint() {
    std::uint32_t cp = Hex4();
    if (cp >= 0xD800 && cp <= 0xDBFF && text_.substr(pos_, 2) == "\\u") {
      pos_ += 2;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
    }
    return cp;
  }

  std::uint32_t Hex4() {
    if (pos_ + 4 > text_.size()) Error("short \\u escape");
    const std::optional<std::int32_t> v = ParseInt32("$" + std::string(text_.substr(pos_, 4)));
    if (!v) Error("bad \\u escape");
    pos_ += 4;
    return static_cast<std::uint32_t>(*v);
  }

  static void AppendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp < 0x100) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && std::strchr(" \t\r\n", text_[pos_]) != nullptr) ++pos_;
  }
  bool Consume(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Consume(c)) Error(std::string("expected '") + c + "'");
  }
  [[noreturn]] void Error(const std::string& what) const {
    Fail("request log: " + what + " at offset " + std::to_string(pos_));
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// ---- HTTP replies ----

std::string DecodeChunked(std::string_view body) {
  std::string out;
  for (;;) {
    const std::size_t eol = body.find("\r\n");
    if (eol == std::string_view::npos) Fail("chunked body: no chunk size line");
    const std::string_view sizeText = body.substr(0, body.find_first_of(";\r"));
    const std::optional<std::int32_t> size = ParseInt32("$" + std::string(sizeText));
    if (!size || *size < 0) Fail("chunked body: bad chunk size");
    body.remove_prefix(eol + 2);
    if (*size == 0) return out;
    if (body.size() < static_cast<std::size_t>(*size) + 2) Fail("chunked body: cut short");
    out.append(body.substr(0, *size));
    body.remove_prefix(*size + 2);
  }
}

}  // namespace

std::optional<std::string> FindHeader(const THeaders& headers, std::string_view name) {
  for (const auto& [key, value] : headers)
    if (SameText(key, name)) return value;
  return std::nullopt;
}

std::string GeneratedBytes(std::size_t size) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i % 251);
  return out;
}

// ---- THttpTestServer ----

namespace {

std::vector<std::string> HttpArgs(const std::string& root, const std::optional<std::string>& user,
                                  const std::string& password) {
  std::vector<std::string> args{root};
  if (user) args.insert(args.end(), {"--user", *user, "--password", password});
  return args;
}

}  // namespace

THttpTestServer::THttpTestServer(const std::string& root, std::optional<std::string> user,
                                 const std::string& password)
    : TServerProcess("http_server.py", HttpArgs(root, user, password)) {}

std::string THttpTestServer::Url(std::string_view path) const {
  return JoinPath("http://127.0.0.1:" + std::to_string(Port()) + "/", path);
}

std::vector<TRecordedRequest> THttpTestServer::Requests() const {
  const THttpReply reply = HttpGet(Port(), "/_requests");
  if (reply.Status != 200) Fail("request log: status " + std::to_string(reply.Status));
  return TJsonReader(reply.Body).RequestLog();
}

void THttpTestServer::ClearRequests() const {
  const THttpReply reply = HttpGet(Port(), "/_clear");
  if (reply.Status != 200) Fail("clearing the request log: status " + std::to_string(reply.Status));
}

// ---- TFtpTestServer ----

TFtpTestServer::TFtpTestServer(const std::string& root, const std::string& user,
                               const std::string& password, int readLimit, int dropAfter)
    : TServerProcess("ftp_server.py",
                     {root, "--user", user, "--password", password, "--read-limit",
                      std::to_string(readLimit), "--drop-after", std::to_string(dropAfter)}) {}

std::string TFtpTestServer::Url(std::string_view path) const {
  return JoinPath("ftp://127.0.0.1:" + std::to_string(Port()) + "/", path);
}

TProxyTestServer::TProxyTestServer(std::optional<std::string> user, const std::string& password)
    : TServerProcess("proxy_server.py",
                     user ? std::vector<std::string>{"--user", *user, "--password", password}
                          : std::vector<std::string>{}) {}

std::vector<std::string> TFtpTestServer::DataConnections() const {
  TLoopbackConnection connection(Port());
  const std::string greeting = connection.ReadLine();
  if (greeting.rfind("220 ", 0) != 0) Fail("FTP greeting: " + greeting);
  connection.Send("SITE DATALOG\r\n");
  const std::string reply = connection.ReadLine();
  if (reply.rfind("200", 0) != 0) Fail("SITE DATALOG: " + reply);
  connection.Send("QUIT\r\n");
  std::vector<std::string> modes;
  std::size_t start = 3;
  while ((start = reply.find_first_not_of(' ', start)) != std::string::npos) {
    const std::size_t end = std::min(reply.find(' ', start), reply.size());
    modes.push_back(reply.substr(start, end - start));
    start = end;
  }
  return modes;
}

// ---- TLoopbackConnection ----

TLoopbackConnection::TLoopbackConnection(int port, std::chrono::milliseconds timeout) {
  const auto s = NewSocket();
  fd_ = static_cast<std::intptr_t>(s);
  if (fd_ == -1) Fail(SocketFailure("socket", SocketError()));
  SetTimeouts(s, timeout);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    const std::string error =
        SocketFailure("connect to 127.0.0.1:" + std::to_string(port), SocketError());
    CloseSocket(fd_);
    Fail(error);
  }
}

TLoopbackConnection::~TLoopbackConnection() { CloseSocket(fd_); }

void TLoopbackConnection::Send(std::string_view data) {
  while (!data.empty()) {
    const auto n = ::send(fd_, data.data(), static_cast<TSendSize>(data.size()), kNoSignal);
    if (n < 0 && Interrupted(SocketError())) continue;
    if (n <= 0) Fail(SocketFailure("send", SocketError()));
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool TLoopbackConnection::Fill() {
  char block[4096];
  for (;;) {
    const auto n = ::recv(fd_, block, sizeof block, 0);
    if (n < 0) {
      const int error = SocketError();
      if (Interrupted(error)) continue;
      if (TimedOut(error)) Fail("no answer within the time-out");
      if (Reset(error)) return false;  // a server that cuts a body short
      Fail(SocketFailure("recv", error));
    }
    buffer_.append(block, static_cast<std::size_t>(n));
    return n > 0;
  }
}

std::string TLoopbackConnection::ReadLine() {
  std::size_t eol;
  while ((eol = buffer_.find('\n')) == std::string::npos)
    if (!Fill()) Fail("connection closed before the end of a line (got \"" + buffer_ + "\")");
  std::string line = buffer_.substr(0, eol);
  buffer_.erase(0, eol + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string TLoopbackConnection::ReadToEnd() {
  while (Fill()) {
  }
  return std::exchange(buffer_, {});
}

// ---- HttpRequest ----

THttpReply HttpRequest(int port, std::string_view method, std::string_view path,
                       const std::vector<std::string>& headers, std::string_view body) {
  TLoopbackConnection connection(port);
  std::string request = std::string(method) + " " + std::string(path) + " HTTP/1.1\r\n";
  request += "Host: 127.0.0.1:" + std::to_string(port) + "\r\nConnection: close\r\n";
  for (const std::string& h : headers) request += h + "\r\n";
  if (!body.empty() || method == "POST")
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  request += "\r\n";
  request += body;
  connection.Send(request);

  THttpReply reply;
  const std::string statusLine = connection.ReadLine();
  if (statusLine.rfind("HTTP/", 0) != 0 || statusLine.size() < 12)
    Fail("not an HTTP status line: " + statusLine);
  const std::optional<std::int32_t> status = ParseInt32(statusLine.substr(9, 3));
  if (!status) Fail("bad HTTP status line: " + statusLine);
  reply.Status = *status;
  for (std::string line; !(line = connection.ReadLine()).empty();) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) Fail("bad header line: " + line);
    reply.Headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
  }
  reply.Body = method == "HEAD" ? std::string() : connection.ReadToEnd();
  const std::optional<std::string> coding = reply.Header("Transfer-Encoding");
  if (coding && LowerCase(*coding).find("chunked") != std::string::npos)
    reply.Body = DecodeChunked(reply.Body);
  return reply;
}

}  // namespace kavrel::test
