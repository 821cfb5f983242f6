// The report posted to a web server after an update: one POST of the form
// text the application set, on a session of its own.
#include "Kavrel.h"
#include "Unicode.h"

namespace kavrel {

void TKavrel::SendPostUpdateInfo() {
  TPostUpdateInfo& info = PostUpdateInfo;
  if (info.Server.empty() || info.Action.empty()) return;
  auto session = platform::TInternetSession::Open(Agent, "");
  if (!session) {
    ReportStatus(951, "", 16, 5);
    return;
  }
  session->SetIdleHandler([this] {
    PumpMessages();
    return true;
  });

  std::string address;
  switch (platform::HttpObjectAddress(info.Server, 80, info.Action, address)) {
    case platform::THttpAddressProblem::BadServer:
      ReportStatus(951, "", 16, 5);
      return;
    case platform::THttpAddressProblem::BadObject:
      ReportStatus(952, "", 17, 5);
      return;
    case platform::THttpAddressProblem::None:
      break;
  }
  info.PostResult.clear();
  platform::THttpRequestOptions options;
  options.BypassCaches = false;
  // The report's data goes to the server the application named, never where
  // a redirection would send it.
  options.RedirectsWithinOrigin = true;
  options.Headers.push_back("Content-Type: application/x-www-form-urlencoded");
  options.PostBody = Utf16LowBytes(info.Data);  // one byte per character
  auto request = session->OpenUrl(address, options);
  if (!request) return;  // a failed send is not reported

  char block[4096];
  std::size_t count = 0;
  do {
    PumpMessages();
    if (!request->Read(block, sizeof block, count)) break;
    info.PostResult += Latin1ToUtf8(std::string_view(block, count));
  } while (count > 0);
}

}  // namespace kavrel
