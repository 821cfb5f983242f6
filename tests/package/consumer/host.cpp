// Updates the current folder from a control file on disk through the C++
// engine, with a user interface of its own that answers Yes, and prints the
// library's version (which must be the package's) and each status message.
// Exits with the run's status.
//     cxx_host CONTROL-FILE
#include <kavrel.h>
#include <kavrel/Kavrel.h>
#include <kavrel/UserInterface.h>

#include <iostream>
#include <memory>
#include <string>

namespace {

class TYesInterface : public kavrel::platform::IUserInterface {
 public:
  kavrel::platform::TModalResult MessageBox(std::string_view text, std::string_view,
                                            kavrel::platform::TMsgKind,
                                            kavrel::platform::TMsgButtons) override {
    std::cout << "[box] " << text << std::endl;
    return kavrel::platform::TModalResult::Yes;
  }
  void ProcessMessages() override {}
  bool ShowLoginDialog(std::string_view, std::string&, std::string&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: cxx_host CONTROL-FILE\n";
    return 2;
  }
  if (std::string(kavrel_version()) != PACKAGE_VERSION) {
    std::cerr << "cxx_host: library " << kavrel_version() << ", package " << PACKAGE_VERSION
              << '\n';
    return 2;
  }
  std::cout << "version " << kavrel_version() << std::endl;
  kavrel::platform::SetUserInterface(std::make_shared<TYesInterface>());
  kavrel::TKavrel engine;
  engine.URL = argv[1];
  engine.UpdateType = kavrel::fileUpdate;
  engine.UpdateUpdate = kavrel::kvuSilent;
  engine.UseWinTempDir = false;
  engine.OnStatus = [](kavrel::TKavrel&, const std::string& text, int status, int error) {
    std::cout << text << " (Status:" << status << ") (Error:" << error << ")" << std::endl;
  };
  engine.RunUpdate();
  return kavrel::TKavrel::RunStatus(engine.Outcome());
}
