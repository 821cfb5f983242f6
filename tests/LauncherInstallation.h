// An installation of the launcher beside version 1 of the application, whose
// settings point at a local HTTP server that offers version 2 as app.exe_NEW.
#pragma once

#include <filesystem>
#include <string>

#include "SettingsFile.h"
#include "TestServers.h"
#include "TestSupport.h"

namespace kavrel::test {

struct TLauncherInstallation {
  TLauncherInstallation() {
    std::filesystem::create_directories(folder + "/Data/Sound");
    std::filesystem::copy_file(KAVREL_LAUNCHER_PATH, launcher);
    std::filesystem::copy_file(KAVREL_SPLASH_PATH, folder + "/tolvan.bmp");
    std::filesystem::copy_file(KAVREL_TEST_APP1_PATH, folder + "/app.exe");
    std::filesystem::copy_file(KAVREL_TEST_APP2_PATH, www.File("app.exe_NEW"));
    Settings();
  }
  // Writes the settings file scrambled as the launcher reads it: the control
  // file's address, then the `extra` lines of its section.
  void Settings(const std::string& extra = "") const {
    WriteFile(folder + "/Data/Sound/QZ.au",
              launcher::ScrambleBytes("[Conf]\r\nAdd=" + server.Url("update.ini") + "\r\n" + extra,
                                      std::stoi(launcher::kSettingsKey)));
  }
  // Its home and temporary files in `base`; the application's starts
  // recorded in record/record.
  TEnvironment Environment() const {
    TEnvironment env = RunEnvironment({.Temp = base.Path(), .Home = base.Path()});
    env.emplace_back("KAVREL_TEST_RECORD", record.File("record"));
    return env;
  }

  TTempDir www, base, record;
  THttpTestServer server{www.Path()};
  std::string folder = base.File("My App");  // with a blank in its name
  std::string launcher = folder + "/kavrel-launcher";
};

}  // namespace kavrel::test
