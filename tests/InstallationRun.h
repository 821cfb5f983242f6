// Whole runs of `kavrel run` in an installation of their own: a published
// control file on the local HTTP server, the application's folder as the
// current one, and private hives, temporary folder and home.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TestServers.h"
#include "TestSupport.h"

namespace kavrel::test {

// Sets back the time of every file and folder below `folder`, as if the run
// that left them had been a while ago, so that the next run takes what it
// left for leftovers.
void AgeEntriesBelow(const std::string& folder);

class TInstallationRun : public ::testing::Test {
 protected:
  TInstallationRun() : server(www.Path()) {}
  // The server's "auth" paths then ask for this user and password.
  TInstallationRun(const std::string& user, const std::string& password)
      : server(www.Path(), user, password) {}

  // Publishes update.ini with the sections as its files; `extra` goes
  // before the file list (an application section, say).
  void Publish(const std::vector<TSection>& files, const std::string& extra = "");
  // Runs to the end, the properties given as "Name=value".
  TProgramResult Run(const std::vector<std::string>& properties, const std::string& answers = "");
  // Starts a run and leaves it running, for a test that ends it itself.
  std::unique_ptr<TRunningProgram> Start(const std::vector<std::string>& properties,
                                         bool ownConsole = false);
  // Every file left in the temporary folder and the temporary files below the
  // application's.
  std::vector<std::string> Leftovers() const;
  // The paths fetched besides the control file, in order.
  std::vector<std::string> FetchedPaths() const;
  // The properties that make a run and the updater stub it starts log (to a
  // log of this installation's own), for WaitForStub.
  std::vector<std::string> StubLogging() const;
  // Waits until the updater stub a run with StubLogging started has done its
  // work in the application's folder and goes on to start the application;
  // whether it did within a minute. Unlike reading the files the stub
  // replaces, which on Windows would make its replacement fail, reading its
  // log leaves it undisturbed.
  bool WaitForStub() const;
  // The environment of a run: the private hives, temporary folder and home.
  TEnvironment Environment() const {
    TEnvironment env =
        RunEnvironment({.Temp = temp.Path(), .Home = home.Path(), .Hives = hives.Path()});
    env.insert(env.end(), ExtraEnvironment.begin(), ExtraEnvironment.end());
    return env;
  }
  // Given to every run besides.
  TEnvironment ExtraEnvironment;

  TTempDir www, hives, temp, home, app;
  THttpTestServer server;
  // The command line of a run: the published control file's address, the
  // properties and the answers.
  std::vector<std::string> Arguments(const std::vector<std::string>& properties,
                                     const std::string& answers = "") const;

  // Runs start through the restricted program with these options
  // (tests/programs/Restricted.cpp) when there are any.
  std::vector<std::string> Restrictions;
};

}  // namespace kavrel::test
