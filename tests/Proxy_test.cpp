// Transfers through a real web proxy (tinyproxy on 127.0.0.1): which proxy a
// setting or the environment chooses, where the proxy credentials go, and
// that a proxy's own answer never takes a file's place.
#include <gtest/gtest.h>

#include "KvBase64.h"
#include "ProxySelection.h"
#include "RecordingEngine.h"
#include "TestServers.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

// The environment a proxy choice may read, emptied for the test.
struct TNoProxyEnvironment {
  TScopedEnv a{"http_proxy", std::nullopt}, b{"HTTP_PROXY", std::nullopt},
      c{"https_proxy", std::nullopt}, d{"HTTPS_PROXY", std::nullopt}, e{"ftp_proxy", std::nullopt},
      f{"FTP_PROXY", std::nullopt}, g{"all_proxy", std::nullopt}, h{"ALL_PROXY", std::nullopt},
      i{"no_proxy", std::nullopt}, j{"NO_PROXY", std::nullopt};
};

class ProxyTest : public ::testing::Test {
 protected:
  ProxyTest() : server(www.Path()) {}

  void SetUp() override {
    WriteFile(www.File("app.exe"), "new app");
    engine.UseWinTempDir = false;
    engine.TempDirectory = temp.Path();
  }

  // Fetches app.exe over HTTP; the result, and whether the server saw the
  // request come through the proxy.
  std::pair<bool, bool> FetchApp() {
    server.ClearRequests();
    engine.URL = server.Url("app.exe");
    if (engine.OpenConnection() != 0) return {false, false};
    const bool fetched =
        engine.DownloadFile(engine.Connection(), server.Url("app.exe"), target.File(""));
    engine.CloseConnection();
    const auto requests = server.Requests();
    return {fetched, !requests.empty() && requests.back().Header("Via").has_value()};
  }

  TNoProxyEnvironment clean;
  TTempDir www, target, temp;
  THttpTestServer server;
  TScopedScriptedUi ui;
  TRecordingEngine engine;
};

TEST_F(ProxyTest, ASettingIsUsedAsItStandsAndBypassesNothing) {
  TProxyTestServer proxy;
  TScopedEnv bypass("no_proxy", "127.0.0.1,localhost");
  const std::string p = proxy.Address();
  const struct {
    std::string setting;
    bool proxied;
  } cases[] = {
      {p, true},
      {"http://" + p, true},
      {"http=" + p, true},
      {"ftp=127.0.0.1:1 http=" + p, true},
      {"https=127.0.0.1:1;" + p, true},
      {"ftp=" + p, false},  // no entry for http: straight to the server
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    engine.Proxy = c.setting;
    EXPECT_EQ(FetchApp(), std::make_pair(true, c.proxied));
  }
}

TEST_F(ProxyTest, AnEmptySettingFollowsTheEnvironment) {
  TProxyTestServer proxy;
  const std::string p = proxy.Address();
#ifdef _WIN32
  // Windows keeps the system's proxy in the user's Internet settings, which
  // the library follows, rather than in the environment.
  const struct {
    std::optional<std::string> server;
    std::string bypass;
    bool proxied;
  } cases[] = {
      {p, "", true},
      {"http=" + p, "", true},
      {p, "example.com", true},
      {p, "127.0.0.1", false},
      // Under Wine the library bypasses whole names and "*." domains only,
      // not address patterns such as "127.*".
      {p, "localhost;*.invalid;127.0.0.1", false},
      {"https=" + p, "", false},  // another scheme's proxy
      {std::nullopt, "", false},  // no proxy enabled
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server.value_or("(none)") + " bypassed for " + c.bypass);
    TScopedInternetSettings settings(c.server, c.bypass);
    EXPECT_EQ(FetchApp(), std::make_pair(true, c.proxied));
  }
#else
  const struct {
    std::string name, value, bypass;
    bool proxied;
  } cases[] = {
      {"http_proxy", "http://" + p, "", true},
      {"http_proxy", p, "example.com", true},
      {"all_proxy", p, "", true},
      {"http_proxy", p, "127.0.0.1", false},
      {"http_proxy", p, "localhost, 127.0.0.0/8", false},
      {"http_proxy", p, "*", false},
      {"https_proxy", p, "", false},  // another scheme's proxy
      {"HTTP_PROXY", p, "", false},   // taken in lower case only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + "=" + c.value + " no_proxy=" + c.bypass);
    TScopedEnv proxyVariable(c.name, c.value);
    TScopedEnv bypass("no_proxy", c.bypass);
    EXPECT_EQ(FetchApp(), std::make_pair(true, c.proxied));
  }
#endif
}

TEST_F(ProxyTest, ProxyCredentialsLogInAtTheProxyAndNeverReachTheServer) {
  TProxyTestServer proxy("puser", "psecret");
  engine.ProxyUserID = "puser";
  engine.ProxyPassword = "psecret";
  for (const bool fromEnvironment : {false, true}) {
    SCOPED_TRACE(fromEnvironment ? "from http_proxy" : "from the setting");
    engine.Proxy = fromEnvironment ? "" : proxy.Address();
#ifdef _WIN32
    // The system's proxy is in the user's Internet settings.
    TScopedInternetSettings variable(fromEnvironment ? std::optional(proxy.Address())
                                                     : std::nullopt);
#else
    TScopedEnv variable("http_proxy",
                        fromEnvironment ? std::optional(proxy.Address()) : std::nullopt);
#endif
    EXPECT_EQ(FetchApp(), std::make_pair(true, true));
    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty()) << "the request reached the server";
    const auto seen = requests.back();
    EXPECT_FALSE(seen.Header("Authorization"));
    EXPECT_FALSE(seen.Header("Proxy-Authorization"));
    EXPECT_EQ(seen.Path, "/app.exe");
  }
  // Without the pair the proxy asks for it (407); a wrong pair it refuses
  // (tinyproxy answers that with 401). Either is reported, never fetched.
  engine.Proxy = proxy.Address();
  for (const std::string user : {"", "puser"}) {
    engine.ProxyUserID = user;
    engine.ProxyPassword = "wrong";
    engine.statuses.clear();
    EXPECT_FALSE(FetchApp().first);
    ASSERT_NE(engine.Find(916), nullptr);
    EXPECT_EQ(engine.Find(916)->ErrCode, user.empty() ? 407 : 401);
  }
}

TEST_F(ProxyTest, WithoutAProxyTheProxyCredentialsGoNowhere) {
  // A server that asks for the very pair: it must never receive it.
  THttpTestServer own(www.Path(), "puser", "psecret");
  engine.ProxyUserID = "puser";
  engine.ProxyPassword = "psecret";
  engine.URL = own.Url("auth/app.exe");
  ASSERT_EQ(engine.OpenConnection(), 0);
  EXPECT_FALSE(engine.DownloadFile(engine.Connection(), own.Url("auth/app.exe"), target.File("")));
  EXPECT_TRUE(engine.DownloadFile(engine.Connection(), own.Url("app.exe"), target.File("")));
  engine.CloseConnection();
  ASSERT_EQ(own.Requests().size(), 2u);
  for (const TRecordedRequest& r : own.Requests()) {
    EXPECT_FALSE(r.Header("Authorization")) << r.Path;
    EXPECT_EQ(r.Path.find("puser"), std::string::npos);
  }
}

TEST_F(ProxyTest, AnFtpLocationTheProxyCannotServeFailsAndLeavesTheFileAlone) {
  TProxyTestServer proxy;
  TFtpTestServer ftp(www.Path(), "user", "secret");
  WriteFile(target.File("app.exe"), "old app");
  engine.UpdateType = ftpUpdate;
  engine.Host = "127.0.0.1";
  engine.Port = ftp.Port();
  engine.Proxy = proxy.Address();
  ASSERT_EQ(engine.OpenConnection(), 0);
  EXPECT_EQ(engine.ConnectHost(), -1);
  EXPECT_NE(platform::LastInternetError().Text.find("400"), std::string::npos)
      << platform::LastInternetError().Text;
  EXPECT_FALSE(engine.DownloadFile(engine.Connection(), "app.exe", target.File("")));
  engine.CloseConnection();
  EXPECT_EQ(ReadFile(target.File("app.exe")), "old app");
}

TEST_F(ProxyTest, AnIPv6FtpHostIsWrittenInBrackets) {
  // The test server stands in for a web proxy here: it logs the location it
  // is asked for and refuses it, and nothing goes to the IPv6 address itself.
  engine.UpdateType = ftpUpdate;
  engine.Host = "::1";
  engine.Port = 2121;
  engine.Proxy = "127.0.0.1:" + std::to_string(server.Port());
  ASSERT_EQ(engine.OpenConnection(), 0);
  EXPECT_EQ(engine.ConnectHost(), -1);
  engine.CloseConnection();
  const auto requests = server.Requests();
  ASSERT_FALSE(requests.empty());
#ifdef _WIN32
  // Under Wine the library puts a "/" before a request target that does not
  // start with one; the location after it is the one asked for.
  EXPECT_EQ(requests[0].Path, "/ftp://[::1]:2121/");
#else
  EXPECT_EQ(requests[0].Path, "ftp://[::1]:2121/");
#endif
}

TEST(ProxyBypass, NamesDomainsAndAddressRanges) {
  const struct {
    const char *list, *location;
    bool bypassed;
  } cases[] = {
      {"example.com", "http://example.com/a", true},
      {"example.com", "http://www.Example.com:8080/a", true},
      {".example.com", "http://www.example.com/", true},
      {"example.com", "http://notexample.com/", false},
      {"example.com:8080", "http://example.com/", true},
      {"10.0.0.0/8", "http://10.2.3.4/", true},
      {"10.0.0.0/8", "http://11.2.3.4/", false},
      {"192.168.1.0/25", "http://192.168.1.200/", false},
      {"fd00::/8", "http://[fd12::1]:81/", true},
      {"[::1]", "ftp://[::1]/", true},
      {"a.org, b.org", "http://user:pw@b.org/", true},
      {"", "http://a.org/", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::BypassesProxy(c.list, c.location), c.bypassed)
        << c.list << " / " << c.location;
}

}  // namespace
}  // namespace kavrel::test
