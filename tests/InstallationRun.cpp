#include "InstallationRun.h"

#ifdef _WIN32
#include <windows.h>

#include "WideText.h"
#else
#include <utime.h>
#endif

#include <ctime>
#include <filesystem>

#include "CabinetImage.h"
#include "Processes.h"
#include "StubHandoff.h"
#include "UpdateLog.h"

namespace kavrel::test {

void AgeEntriesBelow(const std::string& folder) {
#ifdef _WIN32
  // The C runtime's utime cannot open a folder: the times are set on a handle
  // that may stand for either.
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
  ticks.QuadPart -= 3600ULL * 10000000ULL;
  const FILETIME past{ticks.LowPart, ticks.HighPart};
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    const HANDLE h = ::CreateFileW(e.path().c_str(), FILE_WRITE_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    ::SetFileTime(h, nullptr, &past, &past);
    ::CloseHandle(h);
  }
#else
  const utimbuf past{std::time(nullptr) - 3600, std::time(nullptr) - 3600};
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
    ::utime(e.path().c_str(), &past);
#endif
}

void TInstallationRun::Publish(const std::vector<TSection>& files, const std::string& extra) {
  WriteFile(www.File("update.ini"), ControlFile(files, extra));
}

std::vector<std::string> TInstallationRun::Arguments(const std::vector<std::string>& properties,
                                                     const std::string& answers) const {
  std::vector<std::string> args = {
      KavrelProgram(),         "run", "-p", "URL=" + server.Url("update.ini"), "-p",
      "UpdateUpdate=kvuSilent"};
  for (const std::string& p : properties) {
    args.push_back("-p");
    args.push_back(p);
  }
  if (!answers.empty()) args.insert(args.end(), {"--answers", answers});
  if (!Restrictions.empty()) {
#ifdef _WIN32
    ADD_FAILURE() << "no restricted program on Windows: file-size limits and other users are "
                     "POSIX facilities";
#else
    std::vector<std::string> restricted = {KAVREL_RESTRICTED_PATH};
    restricted.insert(restricted.end(), Restrictions.begin(), Restrictions.end());
    restricted.push_back("--");
    args.insert(args.begin(), restricted.begin(), restricted.end());
#endif
  }
  return args;
}

TProgramResult TInstallationRun::Run(const std::vector<std::string>& properties,
                                     const std::string& answers) {
  return RunProgram(Arguments(properties, answers), app.Path(), Environment());
}

std::unique_ptr<TRunningProgram> TInstallationRun::Start(const std::vector<std::string>& properties,
                                                         bool ownConsole) {
  return std::make_unique<TRunningProgram>(Arguments(properties, ""), app.Path(), Environment(),
                                           ownConsole);
}

std::vector<std::string> TInstallationRun::Leftovers() const {
  std::vector<std::string> found = FilesBelow(temp.Path());
  for (const std::string& f : FilesBelow(app.Path()))
    if (f.compare(f.find_last_of('/') + 1, 3, "KAV") == 0) found.push_back(f);
  return found;
}

std::vector<std::string> TInstallationRun::FetchedPaths() const {
  std::vector<std::string> paths;
  for (const TRecordedRequest& r : server.Requests())
    if (r.Path != "/update.ini") paths.push_back(r.Path);
  return paths;
}

std::vector<std::string> TInstallationRun::StubLogging() const {
  return {"Logging=True", "LogFileName=" + home.File(kDefaultLogName)};
}

bool TInstallationRun::WaitForStub() const {
  // A stub with raised rights (every program has them under Wine) logs to the
  // user's own log, which other tests' stubs share: the line names this
  // installation.
  const std::string log =
      platform::RunsElevated() ? LogFilePath(kDefaultLogName) : home.File(kDefaultLogName);
  const std::string restart = "Upd restart " + app.Path();
  return WaitUntil(
      [&] {
        for (const std::string& line : FileLines(log))
          if (line.find(restart) != std::string::npos) return true;
        return false;
      },
      std::chrono::seconds(60));
}

}  // namespace kavrel::test
