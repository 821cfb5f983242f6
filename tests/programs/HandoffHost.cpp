// A host of the engine that behaves as the launcher does at the handoff: it
// asks for the restart at message 948 as well (so the driver asks a second
// time), and when asked to close it stays a while before it ends, then writes
// what a watched file held at its very end. So a test sees whether the
// updater stub waited for this process.
//   handoff-host LINGER_MS WITNESS WATCHED [kavrel run options]
#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "HostEngine.h"
#include "HostOptions.h"
#include "ScriptedUserInterface.h"
#include "StatusMessages.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: handoff-host LINGER_MS WITNESS WATCHED [run options]\n";
    return 2;
  }
  const int lingerMs = std::stoi(argv[1]);
  const std::string witness = argv[2], watched = argv[3];
  std::string error;
  const auto options =
      kavrel::ParseHostOptions(std::vector<std::string>(argv + 4, argv + argc), error);
  if (!options) {
    std::cerr << error << '\n';
    return 2;
  }
  kavrel::THostEngine engine(std::cout);
  if (!kavrel::ApplyProperties(engine, *options, error)) {
    std::cerr << error << '\n';
    return 2;
  }
  kavrel::platform::SetUserInterface(
      std::make_shared<kavrel::platform::TScriptedUserInterface>(options->answers, std::cerr));
  bool closing = false;
  engine.OnStatus = [](kavrel::TKavrel& sender, const std::string& text, int, int) {
    if (text == kavrel::StatusMessageText(948)) sender.RestartApplication();
  };
  engine.OnAppDoClose = [&closing](kavrel::TKavrel&) {
    std::cout << "[close]" << std::endl;
    closing = true;
  };
  try {
    engine.RunUpdate();
  } catch (const std::exception& e) {
    std::cerr << "handoff-host: " << e.what() << '\n';
    return 1;
  }
  if (closing) {
    std::this_thread::sleep_for(std::chrono::milliseconds(lingerMs));
    std::ifstream in(watched, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    std::ofstream(witness, std::ios::binary) << content;
  }
  return 0;
}
