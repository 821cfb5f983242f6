// The HTML dialog: pages from disk and from a web server shown in the
// toolkit's help view on a real X server, pages that cannot be had showing
// nothing, and links that never lead from a fetched page into local files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogViews.h"
#include "FltkUserInterface.h"
#include "HtmlDialogForm.h"
#include "HtmlPage.h"
#include "TestServers.h"
#include "TestSupport.h"
#include "XDisplay.h"
#include "XSession.h"

namespace kavrel::test {
namespace {

using platform::THtmlDialogForm;
using platform::TPageKind;

THtmlDialogForm* Form() { return FindShownWindow<THtmlDialogForm>(); }

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Page(const std::string& title, const std::string& body) {
  return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

TEST(PageAddress, PathsFileAddressesAndWebAddressesAreToldApart) {
  struct TCase {
    std::string Address;
    TPageKind Kind;
    std::string Location;
  };
  const std::vector<TCase> cases = {
      {"/srv/pages/news.htm", TPageKind::LocalFile, "/srv/pages/news.htm"},
      {"C:\\Program Files\\App\\news.htm", TPageKind::LocalFile,
       "C:\\Program Files\\App\\news.htm"},
      {"pages\\news.htm", TPageKind::LocalFile, "pages\\news.htm"},
      {"file:///srv/my%20pages/100%25%zz.htm", TPageKind::LocalFile, "/srv/my pages/100%%zz.htm"},
      {"FILE://LocalHost/srv/news.htm", TPageKind::LocalFile, "/srv/news.htm"},
      {"file:/srv/news.htm", TPageKind::LocalFile, "/srv/news.htm"},
      {"file://fileserver/share/news.htm", TPageKind::Unsupported, ""},
      {"file:///srv/news%00.htm", TPageKind::Unsupported, ""},
      {"file://", TPageKind::Unsupported, ""},
      {"http://example.org/news.htm", TPageKind::Remote, "http://example.org/news.htm"},
      {"HTTPS://example.org/a?b=1", TPageKind::Remote, "HTTPS://example.org/a?b=1"},
      {"ftp://example.org/news.htm", TPageKind::Unsupported, ""},
      {"mailto:support@example.org", TPageKind::Unsupported, ""},
      {"", TPageKind::Unsupported, ""},
  };
  for (const TCase& c : cases) {
    const platform::TPageAddress page = platform::ParsePageAddress(c.Address);
    EXPECT_EQ(page.Kind, c.Kind) << c.Address;
    EXPECT_EQ(page.Location, c.Location) << c.Address;
  }
}

TEST(HtmlDialogWithoutDisplay, ShowsNothingAndAnswersFalse) {
  if (platform::ToolkitConnected())
    GTEST_SKIP() << "this process is connected to an X server already";
  TTempDir dir;
  WriteFile(dir.File("page.htm"), Page("Page", "text"));
  TScopedEnv display("DISPLAY", std::nullopt);
  platform::TFltkUserInterface ui;
  EXPECT_FALSE(ui.ShowHtmlDialog(dir.File("page.htm")));
}

class HtmlDialogTest : public TXKeyboardTest {
 protected:
  platform::TFltkUserInterface ui_;
};

TEST_F(HtmlDialogTest, PageOnDiskIsShownUntilClosed) {
  TTempDir dir;
  std::string backslashed = dir.File("my page 0.htm");
  for (char& c : backslashed)
    if (c == '/') c = '\\';
  struct TCase {
    std::string Address;
    TKeys Keys;  // none: the close box
  };
  const std::vector<TCase> cases = {
      {backslashed, {"Return"}},
      {"file://" + dir.Path() + "/my%20page%201.htm", {"Escape"}},
      {dir.File("my page 2.htm"), {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string title = "Page on disk " + std::to_string(i);
    WriteFile(dir.File("my page " + std::to_string(i) + ".htm"),
              Page(title, "<p>Shown from disk</p>"));
    std::string text;
    TDialogDriver driver;
    driver.FocusAndKeys(title, {}).Then([&] { text = PageText(*Form()); },
                                        [&driver] { return driver.KeysDone(); });
    if (cases[i].Keys.empty())
      driver.Then([] { SendCloseRequest(*Form()); });
    else
      driver.Keys(cases[i].Keys);
    driver.Start();
    EXPECT_TRUE(ui_.ShowHtmlDialog(cases[i].Address)) << cases[i].Address;
    EXPECT_FALSE(driver.TimedOut()) << cases[i].Address;
    EXPECT_TRUE(Contains(text, "Shown from disk")) << cases[i].Address << ": " << text;
  }
}

TEST_F(HtmlDialogTest, WebPageIsFetchedAndShown) {
  TTempDir dir;
  const std::string title = "What is new in Kavrel 2.0";
  WriteFile(dir.File("news.htm"),
            Page(title,
                 "<h1>Kavrel 2.0</h1>"
                 "<p>This release downloads <b>large files</b> faster and shows a clearer "
                 "progress display.</p>"
                 "<ul><li>Resumes interrupted downloads</li><li>Checks every file it "
                 "installs</li><li>Speaks HTTPS with your own certificates</li></ul>"
                 "<p>Read the <a href=\"http://example.org/notes.htm\">release notes</a>.</p>"));
  THttpTestServer server(dir.Path());
  std::string shownTitle, text;
  bool screenshot = false;
  TDialogDriver driver;
  driver.FocusAndKeys(title, {})
      .Then(
          [&] {
            shownTitle = Form()->label();
            text = PageText(*Form());
            screenshot = SaveScreenshot(*Form(), "html-dialog.png");
          },
          [&driver] { return driver.KeysDone(); })
      .Then([] { SendCloseRequest(*Form()); });
  driver.Start();
  EXPECT_TRUE(ui_.ShowHtmlDialog(server.Url("news.htm")));
  EXPECT_FALSE(driver.TimedOut());
  EXPECT_EQ(shownTitle, title);
  EXPECT_TRUE(Contains(text, "Resumes interrupted downloads")) << text;
  EXPECT_TRUE(screenshot) << "no screenshot html-dialog.png";
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method, "GET");
  EXPECT_EQ(requests[0].Path, "/news.htm");
  EXPECT_EQ(requests[0].Header("User-Agent").value_or(""), "TKavrel");
}

TEST_F(HtmlDialogTest, PagesThatCannotBeHadShowNothing) {
  TTempDir dir;
  THttpTestServer server(dir.Path());
  const std::string tooLarge = std::to_string(platform::kMaxPageSize + 1);
  const std::vector<std::string> addresses = {
      dir.File("missing.htm"),
      "file://" + dir.File("missing.htm"),
      dir.Path(),  // a folder
      "file://fileserver/share/page.htm",
      "ftp://127.0.0.1/page.htm",
      server.Url("missing.htm"),
      server.Url("status-500/page.htm"),
      server.Url("gen/" + tooLarge + "/big.htm"),
      server.Url("nolength/gen/" + tooLarge + "/big.htm"),
      server.Url("short-10/gen/100/cut.htm"),
      "http://127.0.0.1:1/page.htm",  // nobody listens
  };
  for (const std::string& address : addresses) {
    bool shown = false;
    TDialogDriver driver(std::chrono::seconds(10));
    driver.Then(
        [&] {
          shown = true;
          Form()->hide();
        },
        [] { return Form() != nullptr; });
    driver.Start();
    EXPECT_FALSE(ui_.ShowHtmlDialog(address)) << address;
    EXPECT_FALSE(shown) << address;
  }
}

TEST_F(HtmlDialogTest, LinksLeadToFilesOnlyFromAPageOnDisk) {
  TTempDir dir;
  WriteFile(dir.File("first.htm"), Page("First", "first page <a href=\"second.htm\">next</a>"));
  WriteFile(dir.File("second.htm"), Page("Second", "second page"));
  {
    THtmlDialogForm form;
    ASSERT_TRUE(form.LoadFile(dir.File("first.htm")));
    EXPECT_STREQ(form.label(), "First");
    // The view resolves the link against the page's folder.
    ASSERT_EQ(PageFolder(form), dir.Path());
    FollowLink(form, dir.File("second.htm"));
    EXPECT_TRUE(Contains(PageText(form), "second page"));
    // A missing file or a folder leaves the page as it is.
    FollowLink(form, dir.File("missing.htm"));
    FollowLink(form, dir.Path());
    EXPECT_TRUE(Contains(PageText(form), "second page"));
  }
  {
    THtmlDialogForm form;
    form.SetPage(Page("Remote", "remote page"), "http://127.0.0.1:1/remote.htm");
    EXPECT_STREQ(form.label(), "Remote");
    FollowLink(form, "file:" + dir.File("second.htm"));
    FollowLink(form, dir.File("second.htm"));
    EXPECT_TRUE(Contains(PageText(form), "remote page")) << "a fetched page reached a local file";
  }
}

}  // namespace
}  // namespace kavrel::test
