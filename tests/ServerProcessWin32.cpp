// Test servers for a Windows test program under Wine, run by the server
// starter outside it.
#include <cstdlib>
#include <stdexcept>

#include "TestServers.h"
#include "Text.h"

namespace kavrel::test {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

}  // namespace

TServerProcess::TServerProcess(const std::string& script, const std::vector<std::string>& args,
                               std::chrono::milliseconds timeout) {
  const char* starter = std::getenv("KAVREL_TEST_SERVER_STARTER");
  const int starterPort = starter != nullptr ? ParseInt32(starter).value_or(0) : 0;
  if (starterPort <= 0)
    Fail("no server starter for " + script +
         ": KAVREL_TEST_SERVER_STARTER names none (scripts/test-windows.sh starts one)");
  starter_ = std::make_unique<TLoopbackConnection>(starterPort, timeout);
  std::string request = script;
  for (const std::string& a : args) request += "\t" + a;
  starter_->Send(request + "\n");
  const std::string line = starter_->ReadLine();
  const int port = line.rfind("PORT ", 0) == 0 ? ParseInt32(line.substr(5)).value_or(0) : 0;
  if (port <= 0 || port > 65535) Fail(script + " did not start: " + line);
  port_ = port;
}

TServerProcess::~TServerProcess() { Stop(); }

std::string TServerProcess::Stop() {
  starter_.reset();
  return "was stopped by the starter";
}

}  // namespace kavrel::test
