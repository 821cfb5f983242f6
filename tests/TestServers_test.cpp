// The servers the transfer tests rely on: each behaviour a path selects is
// checked here once over a plain socket, so that a transfer test failing later
// points at the engine, not at its server.
#include "TestServers.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#endif

#include <cerrno>
#include <chrono>

#include "KvBase64.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

class HttpTestServer : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(root_.File("www/dist/app.exe"), "program bytes");
    WriteFile(root_.File("secret.txt"), "outside the served folder");
    server_.emplace(root_.File("www"), "user", "p:@ss");
  }

  TTempDir root_;
  std::optional<THttpTestServer> server_;
};

TEST_F(HttpTestServer, ServesFilesAndRefusesWhatIsNotThere) {
  const THttpReply file = HttpGet(server_->Port(), "/dist/app.exe");
  EXPECT_EQ(file.Status, 200);
  EXPECT_EQ(file.Header("Content-Length"), "13");
  EXPECT_EQ(file.Body, "program bytes");
  EXPECT_EQ(server_->Url("/dist/app.exe"),
            "http://127.0.0.1:" + std::to_string(server_->Port()) + "/dist/app.exe");

  EXPECT_EQ(HttpGet(server_->Port(), "/dist/missing.exe").Status, 404);
  EXPECT_EQ(HttpGet(server_->Port(), "/dist").Status, 404);
  EXPECT_EQ(HttpGet(server_->Port(), "/../secret.txt").Status, 404);
  EXPECT_EQ(HttpGet(server_->Port(), "/dist/%2E%2E/../secret.txt").Status, 404);
  EXPECT_EQ(HttpGet(server_->Port(), "/status-500/dist/app.exe").Status, 500);

  const THttpReply moved = HttpGet(server_->Port(), "/redirect/dist/app.exe?x=1");
  EXPECT_EQ(moved.Status, 302);
  EXPECT_EQ(moved.Header("Location"), "/dist/app.exe?x=1");
}

TEST_F(HttpTestServer, AuthPathsWantTheConfiguredCredentials) {
  const THttpReply challenge = HttpGet(server_->Port(), "/auth/dist/app.exe");
  EXPECT_EQ(challenge.Status, 401);
  EXPECT_EQ(challenge.Header("WWW-Authenticate"), "Basic realm=\"kavrel-test\"");

  const auto withCredentials = [&](const std::string& pair) {
    return HttpGet(server_->Port(), "/auth/dist/app.exe",
                   {"Authorization: Basic " + Base64Encode(pair)});
  };
  EXPECT_EQ(withCredentials("user:p:@s").Status, 401);
  EXPECT_EQ(withCredentials("user:").Status, 401);
  const THttpReply granted = withCredentials("user:p:@ss");
  EXPECT_EQ(granted.Status, 200);
  EXPECT_EQ(granted.Body, "program bytes");
}

TEST_F(HttpTestServer, BodiesWithAndWithoutLength) {
  const int port = server_->Port();
  const THttpReply generated = HttpGet(port, "/gen/70000/big.bin");
  EXPECT_EQ(generated.Header("Content-Length"), "70000");
  EXPECT_EQ(generated.Body, GeneratedBytes(70000));

  const THttpReply noLength = HttpGet(port, "/nolength/gen/5000");
  EXPECT_EQ(noLength.Status, 200);
  EXPECT_FALSE(noLength.Header("Content-Length"));
  EXPECT_EQ(noLength.Body, GeneratedBytes(5000));

  const THttpReply chunked = HttpGet(port, "/chunked/dist/app.exe");
  EXPECT_EQ(chunked.Header("Transfer-Encoding"), "chunked");
  EXPECT_EQ(chunked.Body, "program bytes");

  // A body cut short announces all of it.
  const THttpReply cut = HttpGet(port, "/short/gen/1000");
  EXPECT_EQ(cut.Header("Content-Length"), "1000");
  EXPECT_EQ(cut.Body, GeneratedBytes(500));
  EXPECT_EQ(HttpGet(port, "/short-10/gen/1000").Body, GeneratedBytes(10));
  EXPECT_EQ(HttpGet(port, "/short-5000/gen/1000").Body.size(), 999u);

  const auto start = std::chrono::steady_clock::now();
  const THttpReply slow = HttpGet(port, "/slow-100-10/gen/30");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
  EXPECT_EQ(slow.Body, GeneratedBytes(30));

  EXPECT_EQ(HttpGet(port, "/slow-x/gen/30").Status, 400);
}

TEST_F(HttpTestServer, RequestLogShowsWhatWasSent) {
  const std::string form("name=a%20b&raw=\xE9\x00!", 17);
  EXPECT_EQ(HttpRequest(server_->Port(), "POST", "/echo", {"X-Test: one \xE9"}, form).Body, form);
  HttpGet(server_->Port(), "/auth/dist/app.exe?v=2", {"Authorization: Basic abc="});

  std::vector<TRecordedRequest> log = server_->Requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Method, "POST");
  EXPECT_EQ(log[0].Path, "/echo");
  EXPECT_EQ(log[0].Header("x-test"), "one \xE9");
  EXPECT_EQ(log[0].Header("Content-Length"), "17");
  EXPECT_EQ(log[0].Body, form);
  EXPECT_EQ(log[1].Method, "GET");
  EXPECT_EQ(log[1].Path, "/auth/dist/app.exe?v=2");
  EXPECT_EQ(log[1].Header("Authorization"), "Basic abc=");
  EXPECT_FALSE(log[1].Header("X-Test"));

  server_->ClearRequests();
  EXPECT_TRUE(server_->Requests().empty());
}

TEST(TestServerProcess, StopsWithItsObjectAndReportsAFailedStart) {
  TTempDir root;
#ifndef _WIN32  // under Wine the starter outside runs the servers and ends them in its own time
  pid_t pid = 0;
  {
    THttpTestServer server(root.Path());
    pid = server.Pid();
    EXPECT_EQ(HttpGet(server.Port(), "/auth/x").Status, 401);  // no user: always refused
  }
  errno = 0;
  EXPECT_EQ(::kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
#endif

  try {
    TServerProcess failing("ftp_server.py", {root.Path()});  // misses --user
    FAIL() << "a server that ends at once must not start";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("exited with code 2"), std::string::npos) << e.what();
  }
}

TEST(FtpTestServer, GreetsAndLogsInUsersAndAnonymous) {
  TTempDir root;
  TFtpTestServer server(root.Path(), "kavrel", "s3cret");
  EXPECT_EQ(server.Url("dist/a.exe"),
            "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/dist/a.exe");

  const auto login = [&](const std::string& user, const std::string& password) {
    TLoopbackConnection ftp(server.Port());
    EXPECT_EQ(ftp.ReadLine().substr(0, 4), "220 ");
    ftp.Send("USER " + user + "\r\n");
    EXPECT_EQ(ftp.ReadLine().substr(0, 3), "331");
    ftp.Send("PASS " + password + "\r\n");
    const std::string reply = ftp.ReadLine().substr(0, 3);
    ftp.Send("QUIT\r\n");
    return reply;
  };
  EXPECT_EQ(login("kavrel", "s3cret"), "230");
  EXPECT_EQ(login("kavrel", "wrong"), "530");
  EXPECT_EQ(login("anonymous", "guest@example.com"), "230");
  EXPECT_TRUE(server.DataConnections().empty()) << "logging in opens no data connection";
}

}  // namespace
}  // namespace kavrel::test
