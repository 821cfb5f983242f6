// Downloads over HTTP against a real server on 127.0.0.1.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ChildProcess.h"
#include "RecordingEngine.h"
#include "TestServers.h"
#include "TestSupport.h"

namespace kavrel::test {
namespace {

// Names in a folder that start like a temporary file's ("KAV").
std::vector<std::string> TemporaryFiles(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::string(e->d_name).rfind("KAV", 0) == 0) names.push_back(e->d_name);
    ::closedir(d);
  }
  return names;
}

class HttpDownloadTest : public ::testing::Test {
 protected:
  HttpDownloadTest() : server(root.Path(), "user", "secret") {}

  void SetUp() override {
    engine.UseWinTempDir = false;
    engine.TempDirectory = temp.Path();
    engine.URL = server.Url("");
    ASSERT_EQ(engine.OpenConnection(), 0);
    ASSERT_NE(engine.Connection(), nullptr);
  }
  void TearDown() override { engine.CloseConnection(); }

  bool Fetch(const std::string& path) {
    return engine.DownloadFile(engine.Connection(), server.Url(path), target.File(""));
  }

  TTempDir root, target, temp;
  THttpTestServer server;
  TScopedScriptedUi ui;
  TRecordingEngine engine;
};

TEST_F(HttpDownloadTest, FileWithLengthArrivesByteForByteWithProgressPerBlock) {
  const std::size_t size = 3 * 4096 + 100;
  ASSERT_TRUE(Fetch("gen/" + std::to_string(size) + "/app.exe"));
  EXPECT_EQ(ReadFile(target.File("app.exe")), GeneratedBytes(size));
  EXPECT_EQ(engine.downloaded, std::vector<std::string>{target.File("app.exe")});
  ASSERT_GE(engine.progress.size(), 5u);  // at least one event per 4096-byte read, plus the last
  for (const TProgressRecord& p : engine.progress) {
    EXPECT_EQ(p.Size, static_cast<int>(size));
    EXPECT_EQ(p.FileName, target.File("app.exe"));
  }
  const TProgressRecord& last = engine.progress.back();
  EXPECT_EQ(last.Pos, static_cast<int>(size));
  EXPECT_EQ(engine.progress[engine.progress.size() - 2].Pos, last.Pos)
      << "the final empty read repeats";
  EXPECT_EQ(engine.Idents(), (std::vector<int>{918, 921, 915}));
  EXPECT_TRUE(TemporaryFiles(temp.Path()).empty());
}

TEST_F(HttpDownloadTest, BodiesWithoutLengthReportSizeZero) {
  for (const std::string path : {"nolength/gen/10000/a.bin", "chunked/gen/10000/b.bin"}) {
    SCOPED_TRACE(path);
    engine.progress.clear();
    ASSERT_TRUE(Fetch(path));
    EXPECT_EQ(ReadFile(target.File(path.substr(path.size() - 5))), GeneratedBytes(10000));
    ASSERT_FALSE(engine.progress.empty()) << "progress is told without a size too";
    for (const TProgressRecord& p : engine.progress) EXPECT_EQ(p.Size, 0);
    EXPECT_EQ(engine.progress.back().Pos, 10000);
  }
}

TEST_F(HttpDownloadTest, LargeFileAndRedirectionArriveWhole) {
  const std::size_t size = 20 * 1024 * 1024 + 7;
  ASSERT_TRUE(Fetch("redirect/gen/" + std::to_string(size) + "/big.bin"));
  EXPECT_EQ(ReadFile(target.File("big.bin")), GeneratedBytes(size));
}

TEST_F(HttpDownloadTest, ErrorStatusesAreReportedAndLeaveTheDestination) {
  WriteFile(target.File("x.txt"), "old");
  for (int status : {404, 500}) {
    SCOPED_TRACE(status);
    engine.statuses.clear();
    const std::string path =
        status == 404 ? std::string("x.txt") : "status-" + std::to_string(status) + "/x.txt";
    EXPECT_FALSE(Fetch(path));
    const TStatusRecord* report = engine.Find(916);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->Arg, std::to_string(status));
    EXPECT_EQ(report->StatusCode, 6);
    EXPECT_EQ(report->ErrCode, status);
    EXPECT_EQ(ReadFile(target.File("x.txt")), "old");
  }
  EXPECT_TRUE(engine.downloaded.empty());
}

TEST_F(HttpDownloadTest, CutShortOrEmptyBodiesNeverReplaceTheDestination) {
  for (const std::string path : {"short-1000/gen/50000/app.exe", "gen/0/app.exe"}) {
    SCOPED_TRACE(path);
    WriteFile(target.File("app.exe"), "the old, working program");
    EXPECT_FALSE(Fetch(path));
    EXPECT_EQ(ReadFile(target.File("app.exe")), "the old, working program");
    EXPECT_TRUE(TemporaryFiles(temp.Path()).empty());
  }
  EXPECT_TRUE(engine.downloaded.empty());
}

TEST_F(HttpDownloadTest, UnreachableServerReportsTheClientErrorAndNotFound) {
  EXPECT_FALSE(
      engine.DownloadFile(engine.Connection(), "http://127.0.0.1:1/app.exe", target.File("")));
  const std::vector<int> idents = engine.Idents();
  ASSERT_GE(idents.size(), 2u);
  EXPECT_EQ(idents[idents.size() - 2], 976);
  EXPECT_EQ(engine.statuses.back().Ident, 917);
  EXPECT_EQ(engine.statuses.back().StatusCode, 2);
  EXPECT_NE(engine.Find(976)->ErrCode, 0);
}

TEST_F(HttpDownloadTest, LocationWithoutAFileNameWritesNothing) {
  EXPECT_FALSE(Fetch("dir/"));
  EXPECT_EQ(engine.statuses.back().Ident, 917);
  EXPECT_TRUE(TemporaryFiles(temp.Path()).empty());
}

TEST_F(HttpDownloadTest, CancelStopsTheTransferAndStaysForLaterDownloads) {
  WriteFile(target.File("big.bin"), "old");
  engine.OnProgressCancel = [](TKavrel&, bool& cancel) { cancel = true; };
  EXPECT_FALSE(Fetch("slow-20-4096/gen/400000/big.bin"));
  EXPECT_NE(engine.Find(964), nullptr);
  EXPECT_EQ(ReadFile(target.File("big.bin")), "old");
  EXPECT_TRUE(engine.CancelledFlag());

  // Later downloads of the same engine read nothing, even without the handler.
  engine.OnProgressCancel = nullptr;
  engine.progress.clear();
  EXPECT_FALSE(Fetch("gen/100/small.bin"));
  EXPECT_TRUE(engine.progress.empty());
  EXPECT_FALSE(ReadFile(target.File("small.bin")));
  EXPECT_TRUE(TemporaryFiles(temp.Path()).empty());
}

TEST_F(HttpDownloadTest, ReadOnlyDestinationIsReplaced) {
  WriteFile(target.File("ro.bin"), "old");
  ASSERT_EQ(::chmod(target.File("ro.bin").c_str(), 0444), 0);
  ASSERT_TRUE(Fetch("gen/10/ro.bin"));
  EXPECT_EQ(ReadFile(target.File("ro.bin")), GeneratedBytes(10));
  // And stays read-only, as it was.
  EXPECT_EQ(std::filesystem::status(target.File("ro.bin")).permissions() &
                std::filesystem::perms::owner_write,
            std::filesystem::perms::none);
}

TEST_F(HttpDownloadTest, EveryRequestAsksPastCaches) {
  ASSERT_TRUE(Fetch("gen/10/a.bin"));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Header("Pragma"), "no-cache");
  EXPECT_EQ(requests[0].Header("User-Agent"), "TKavrel");
  EXPECT_FALSE(requests[0].Header("Authorization"));
}

class HttpAuthenticationTest : public HttpDownloadTest {};

TEST_F(HttpAuthenticationTest, UnauthorisedWithoutAskingReportsStatus401) {
  EXPECT_FALSE(Fetch("auth/gen/10/a.bin"));
  EXPECT_EQ(engine.Find(916)->ErrCode, 401);
  EXPECT_EQ(ui.Shown().find("[login]"), std::string::npos);
}

TEST_F(HttpAuthenticationTest, KnownCredentialsGoOutWithTheFirstRequest) {
  engine.UserID = "user";
  engine.Password = "secret";
  ASSERT_TRUE(Fetch("auth/gen/10/a.bin"));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Header("Authorization"), "Basic dXNlcjpzZWNyZXQ=");
}

TEST_F(HttpAuthenticationTest, AutoAsksAfterEach401UntilTheServerAccepts) {
  TScopedScriptedUi answers({"login:user:wrong", "login:user:secret"});
  engine.Authenticate = kaAuto;
  ASSERT_TRUE(Fetch("auth/gen/10/a.bin"));
  EXPECT_EQ(answers.AnswersLeft(), 0u);
  EXPECT_NE(answers.Shown().find("[login] Connect to 127.0.0.1:" + std::to_string(server.Port())),
            std::string::npos);
  EXPECT_EQ(engine.UserID, "user");
  EXPECT_EQ(engine.Password, "secret");
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(HttpAuthenticationTest, CancelledLoginReportsAuthenticationCancelled) {
  TScopedScriptedUi answers({"cancel"});
  engine.Authenticate = kaAuto;
  EXPECT_FALSE(Fetch("auth/gen/10/a.bin"));
  const TStatusRecord* report = engine.Find(956);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->Arg, "Authentication cancelled");
  EXPECT_EQ(engine.UserID, "");
}

TEST_F(HttpAuthenticationTest, AlwaysAsksBeforeTheFirstRequestWhenAPartIsMissing) {
  TScopedScriptedUi answers({"login:user:secret"});
  engine.Authenticate = kaAlways;
  engine.UserID = "someone";
  ASSERT_TRUE(Fetch("gen/10/open.bin"));  // the server would not even have asked
  EXPECT_EQ(answers.AnswersLeft(), 0u);
  EXPECT_EQ(server.Requests()[0].Header("Authorization"), "Basic dXNlcjpzZWNyZXQ=");
}

TEST_F(HttpAuthenticationTest, ServerCredentialsGoOnlyToTheirOrigin) {
  // The control file's server gets them; another port of the same host, a
  // file the control file names elsewhere, never does.
  THttpTestServer other(root.Path(), "user", "secret");
  engine.UserID = "user";
  engine.Password = "secret";
  ASSERT_TRUE(Fetch("auth/gen/10/a.bin"));
  EXPECT_FALSE(
      engine.DownloadFile(engine.Connection(), other.Url("auth/gen/10/b.bin"), target.File("")));
  EXPECT_TRUE(Fetch("auth/gen/10/c.bin"));
  EXPECT_EQ(server.Requests().back().Header("Authorization"), "Basic dXNlcjpzZWNyZXQ=");
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_FALSE(other.Requests()[0].Header("Authorization"));
  EXPECT_EQ(engine.Find(916)->ErrCode, 401);
}

TEST_F(HttpAuthenticationTest, ALoginAfterARedirectionGoesToTheServerThatAskedForIt) {
  THttpTestServer other(root.Path(), "them", "theirs");
  TScopedScriptedUi answers({"login:them:theirs"});
  engine.Authenticate = kaAuto;
  engine.UserID = "user";  // this server's own credentials
  engine.Password = "secret";
  ASSERT_TRUE(Fetch("redirect-" + std::to_string(other.Port()) + "/auth/gen/10/a.bin"));
  EXPECT_EQ(answers.AnswersLeft(), 0u);
  EXPECT_NE(answers.Shown().find("[login] Connect to 127.0.0.1:" + std::to_string(other.Port())),
            std::string::npos);
  const auto ours = server.Requests(), theirs = other.Requests();
  ASSERT_EQ(ours.size(), 1u);
  EXPECT_EQ(ours[0].Header("Authorization"), "Basic dXNlcjpzZWNyZXQ=");
  ASSERT_EQ(theirs.size(), 2u);
  EXPECT_FALSE(theirs[0].Header("Authorization"));
  EXPECT_EQ(theirs[1].Header("Authorization"), "Basic dGhlbTp0aGVpcnM=");
}

}  // namespace
}  // namespace kavrel::test

#ifndef _WIN32
// The certificate is made with /usr/bin/openssl, a Linux program, and named
// to the client as a Linux client takes its authorities.
namespace kavrel::test {
namespace {

// HTTPS on a server whose certificate this test makes itself.
class HttpsDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const TProgramResult made =
        RunProgram({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", keys.File("key.pem"),
                    "-out", keys.File("cert.pem"), "-days", "2", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1"},
                   keys.Path());
    ASSERT_EQ(made.ExitCode, 0) << made.Err;
    WriteFile(www.File("app.exe"), "over tls");
    server.emplace(
        "http_server.py",
        std::vector<std::string>{www.Path(), "--tls", keys.File("cert.pem"), keys.File("key.pem")});
    engine.URL = Url("app.exe");
    ASSERT_EQ(engine.OpenConnection(), 0);
  }
  void TearDown() override { engine.CloseConnection(); }
  std::string Url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(server->Port()) + "/" + path;
  }

  TTempDir keys, www, target;
  std::optional<TServerProcess> server;
  TScopedScriptedUi ui;
  TRecordingEngine engine;
};

TEST_F(HttpsDownloadTest, AnUnknownCertificateIsRefused) {
  EXPECT_FALSE(engine.DownloadFile(engine.Connection(), Url("app.exe"), target.File("")));
  EXPECT_NE(engine.Find(976), nullptr);
  EXPECT_EQ(engine.statuses.back().Ident, 917);
  EXPECT_FALSE(ReadFile(target.File("app.exe")));
}

TEST_F(HttpsDownloadTest, NothingLeavesHttpsAndCredentialsStayWithTheirOrigin) {
  engine.CloseConnection();
  TScopedEnv authorities("KAVREL_CA_BUNDLE", keys.File("cert.pem"));
  ASSERT_EQ(engine.OpenConnection(), 0);
  THttpTestServer plain(www.Path());
  const std::string port = std::to_string(plain.Port());
  engine.UserID = "user";
  engine.Password = "secret";
  // The redirection an attacker on the way would answer with: to plain http.
  EXPECT_FALSE(engine.DownloadFile(engine.Connection(), Url("redirect-" + port + "/app.exe"),
                                   target.File("")));
  ASSERT_NE(engine.Find(976), nullptr);
  EXPECT_EQ(engine.Find(976)->Arg,
            "Redirection refused, it leaves https: http://127.0.0.1:" + port + "/app.exe");
  EXPECT_TRUE(plain.Requests().empty());
  EXPECT_FALSE(ReadFile(target.File("app.exe")));
  // A file the control file names over plain http gets no credentials of the
  // https origin they were given for.
  ASSERT_TRUE(engine.DownloadFile(engine.Connection(), plain.Url("app.exe"), target.File("")));
  ASSERT_EQ(plain.Requests().size(), 1u);
  EXPECT_FALSE(plain.Requests()[0].Header("Authorization"));
}

TEST_F(HttpsDownloadTest, ACertificateFromTheNamedAuthoritiesIsAccepted) {
  engine.CloseConnection();
  TScopedEnv authorities("KAVREL_CA_BUNDLE", keys.File("cert.pem"));
  ASSERT_EQ(engine.OpenConnection(), 0);
  ASSERT_TRUE(engine.DownloadFile(engine.Connection(), Url("app.exe"), target.File("")));
  EXPECT_EQ(ReadFile(target.File("app.exe")), "over tls");
}

}  // namespace
}  // namespace kavrel::test

#endif  // _WIN32

namespace kavrel::test {
namespace {

TEST(InternetClientTest, AServerThatStopsSendingFailsTheTransfer) {
  TTempDir www;
  THttpTestServer server(www.Path());
  auto session = platform::TInternetSession::Open("TKavrel", "");
  ASSERT_TRUE(session);
  session->SetStallTimeout(1);
  auto request = session->OpenUrl(server.Url("slow-30000-100/gen/1000/x.bin"), {});
  ASSERT_TRUE(request);
  const auto start = std::chrono::steady_clock::now();
  char block[4096];
  std::size_t count = 0, total = 0;
  bool ok = true;
  do {
    ok = request->Read(block, sizeof block, count);
    total += count;
  } while (ok && count > 0);
  EXPECT_FALSE(ok);
  EXPECT_LT(total, 1000u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  EXPECT_NE(platform::LastInternetError().Code, 0)
      << platform::LastInternetError().Text << " total " << total;

  // A byte now and then keeps a transfer alive, however slow it is.
  session->SetStallTimeout(3);
  request.reset();
  request = session->OpenUrl(server.Url("slow-2000-1/gen/3/x.bin"), {});
  ASSERT_TRUE(request) << platform::LastInternetError().Text;
  total = 0;
  do {
    ok = request->Read(block, sizeof block, count);
    total += count;
  } while (ok && count > 0);
  EXPECT_TRUE(ok) << platform::LastInternetError().Text;
  EXPECT_EQ(total, 3u);
}

class HttpDownloadDetailsTest : public HttpDownloadTest {};

TEST_F(HttpDownloadDetailsTest, BlanksInLocationsAreSentEscaped) {
  WriteFile(root.File("my files/read me.txt"), "spaced");
  ASSERT_TRUE(Fetch("my files/read me.txt"));
  EXPECT_EQ(ReadFile(target.File("read me.txt")), "spaced");
}

#ifndef _WIN32  // permission bits, which only POSIX systems have
TEST_F(HttpDownloadDetailsTest, ReplacedProgramsStayExecutableAndNewFilesAreShared) {
  WriteFile(target.File("tool"), "old");
  ASSERT_EQ(::chmod(target.File("tool").c_str(), 0755), 0);
  ASSERT_TRUE(Fetch("gen/10/tool"));
  ASSERT_TRUE(Fetch("gen/10/fresh.bin"));
  struct stat st {};
  ASSERT_EQ(::stat(target.File("tool").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ASSERT_EQ(::stat(target.File("fresh.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask) << "not private like a temporary file";
}

// A transfer whose destination a folder holds stays behind as a temporary
// file a publisher can recognise, with a file's usual permissions, never the
// folder's; a text is fetched into a private folder named the same way.
TEST_F(HttpDownloadDetailsTest, TemporaryNamesAndALeftoversPermissions) {
  ASSERT_EQ(::mkdir(target.File("tool").c_str(), 0700), 0);
  ASSERT_EQ(::chmod(target.File("tool").c_str(), 0751), 0);
  EXPECT_FALSE(Fetch("gen/10/tool"));
  EXPECT_NE(engine.Find(973), nullptr);
  const std::vector<std::string> left = TemporaryFiles(temp.Path());
  ASSERT_EQ(left.size(), 1u);
  EXPECT_TRUE(IsTemporaryName(left[0])) << left[0];
  EXPECT_EQ(ReadFile(temp.File(left[0])), GeneratedBytes(10));
  EXPECT_EQ(ModeOf(temp.File(left[0])), NewFileMode()) << std::oct << ModeOf(temp.File(left[0]));

  TTempDir system;
  TScopedEnv tmp("TMPDIR", system.Path());
  engine.progress.clear();
  EXPECT_TRUE(engine.DownloadText(server.Url("gen/10/news.txt")));
  ASSERT_FALSE(engine.progress.empty());
  const std::string folder = engine.progress[0].FileName.substr(system.Path().size() + 1);
  EXPECT_TRUE(IsTemporaryName(folder.substr(0, folder.find('/')))) << folder;
  EXPECT_TRUE(TemporaryFiles(system.Path()).empty()) << "removed once read";
}

#endif  // _WIN32

TEST_F(HttpDownloadDetailsTest, ADownloadAskedForFromAProgressHandlerIsRefused) {
  bool inner = true;
  int calls = 0;
  engine.OnFileProgress = [&](TKavrel& sender, const std::string&, int, int) {
    if (calls++ == 0)
      inner =
          sender.DownloadFile(sender.Connection(), server.Url("gen/10/inner.bin"), target.File(""));
  };
  ASSERT_TRUE(Fetch("gen/100000/outer.bin"));
  EXPECT_FALSE(inner);
  EXPECT_EQ(ReadFile(target.File("outer.bin")), GeneratedBytes(100000));
}

}  // namespace
}  // namespace kavrel::test
