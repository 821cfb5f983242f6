// Helpers the tests share: a fresh temporary folder per test, and scoped
// changes of process-wide state (environment, current folder) that are undone
// when the scope ends, so that one test never leaks into the next.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavrel::test {

// A new folder under /tmp, removed with everything in it when the object goes.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // The folder's path, without a trailing separator.
  const std::string& Path() const { return path_; }
  // Path() joined with a name by the system's separator (the name may hold
  // further parts: "sub/file").
  std::string File(std::string_view name) const;

 private:
  std::string path_;
};

// Sets an environment variable (or removes it, given nothing) for the scope.
class TScopedEnv {
 public:
  TScopedEnv(std::string name, std::optional<std::string> value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Makes a folder the current one for the scope.
class TScopedCurrentDir {
 public:
  explicit TScopedCurrentDir(const std::string& path);
  ~TScopedCurrentDir();
  TScopedCurrentDir(const TScopedCurrentDir&) = delete;
  TScopedCurrentDir& operator=(const TScopedCurrentDir&) = delete;

 private:
  std::string saved_;
};

// The registry the engine reads and writes, empty for the scope. POSIX keeps
// it in hive files, here in a folder of their own; Windows has the one
// registry, where `userKey` is removed below both roots as the scope starts
// and again as it ends.
class TScopedRegistry {
 public:
  explicit TScopedRegistry(std::string userKey);
  ~TScopedRegistry();
  TScopedRegistry(const TScopedRegistry&) = delete;
  TScopedRegistry& operator=(const TScopedRegistry&) = delete;
#ifndef _WIN32
  // Where POSIX keeps the hive files.
  std::string HiveFile(std::string_view name) const { return hives_.File(name); }
#endif

 private:
  std::string userKey_;
#ifndef _WIN32
  TTempDir hives_;
  TScopedEnv folder_{"KAVREL_REGISTRY_DIR", hives_.Path()};
#endif
};

// Makes a folder the system's temporary folder for the scope: $TMPDIR on
// POSIX, TMP and TEMP on Windows.
class TScopedTempFolder {
 public:
  explicit TScopedTempFolder(const std::string& path);

 private:
#ifdef _WIN32
  TScopedEnv tmp_{"TMP", std::nullopt}, temp_{"TEMP", std::nullopt};
#else
  TScopedEnv tmp_{"TMPDIR", std::nullopt};
#endif
};

// An environment variable's value, or the fallback when it is not set.
std::string GetEnvironmentOr(const std::string& name, const std::string& fallback);

// Writes a file with exactly these bytes, replacing any old content; creates
// the folders above it. Fails the running test when it cannot.
void WriteFile(const std::string& path, std::string_view content);
// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);
// Whether a file name has the form of the system's temporary files: "KAV",
// hexadecimal digits, ".tmp".
bool IsTemporaryName(std::string_view name);
// Bytes that do not compress, the same for the same seed.
std::string RandomBytes(std::size_t size, unsigned seed);
// The lines of a text file without their line ends (LF or CR LF); none when
// the file is missing.
std::vector<std::string> FileLines(const std::string& path);
// Checks `condition` every millisecond until it holds or `timeout` has passed;
// whether it held. For what another process does in its own time.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
// The file's content once it is there and not empty; nothing when it did not
// come in time. For files that a detached program writes.
std::optional<std::string> WaitForFile(const std::string& path);
// FileLines once the file holds at least `count` lines, or after some seconds.
std::vector<std::string> WaitForFileLines(const std::string& path, std::size_t count);

// Environment variables a child program gets besides this process's own.
using TEnvironment = std::vector<std::pair<std::string, std::string>>;
// The folders a child run keeps its state in; an empty one is not given.
struct TRunFolders {
  std::string Temp{};   // the temporary folder
  std::string Home{};   // the user's home (POSIX only)
  std::string Hives{};  // the registry's hive files (POSIX only)
};
// The environment that points a child run at its folders: TMPDIR, HOME and
// KAVREL_REGISTRY_DIR on POSIX; TMP and TEMP on Windows, where the user's
// home and registry are the user's own.
TEnvironment RunEnvironment(const TRunFolders& folders);

// One [fileN] section of a control file: its keys as "key=value" lines.
using TSection = std::vector<std::string>;
// A control file that applies whatever is installed: [update] with
// unconditional=1, then `extra` (further keys of [update], an [application]
// or [action] section), then the file list with a section for each file.
std::string ControlFile(const std::vector<TSection>& files, const std::string& extra = "");
#ifndef _WIN32
// Permission bits, scripts and other users, which only POSIX systems have.
// The file's permission bits, 0 when it is missing.
mode_t ModeOf(const std::string& path);
// The permissions a new file of this process gets: 0666 less the umask.
mode_t NewFileMode();
// Writes a shell script with these permissions.
void WriteScript(const std::string& path, const std::string& script, mode_t mode = 0755);
// Runs `check` as a user without privileges: in this process when it has
// none, else in a child that has become "nobody" (the superuser passes every
// permission check). True when the check returned true.
bool RunUnprivileged(const std::function<bool()>& check);
// Runs `check` in a child process, so that what it changes of the process
// (its user, its limits) goes with it. True when the check returned true.
bool RunInChild(const std::function<bool()>& check);
#else
// Windows stand-ins for what the Linux tests do with scripts and files.
// A copy of the argument recorder (tests/programs/ArgumentRecorder.cpp) at
// `path`; each start of it writes its arguments, one a line, to path + ".out".
std::string CopyRecorder(const std::string& path);
// The user's Internet settings for the scope: a proxy server ("host:port" or
// "scheme=host:port;..."), enabled, and the hosts it is bypassed for; or no
// proxy at all.
class TScopedInternetSettings {
 public:
  TScopedInternetSettings(std::optional<std::string> proxyServer, const std::string& bypass = "");
  ~TScopedInternetSettings();
  TScopedInternetSettings(const TScopedInternetSettings&) = delete;
  TScopedInternetSettings& operator=(const TScopedInternetSettings&) = delete;

 private:
  std::optional<std::string> saved_[3];  // ProxyEnable (as a number), ProxyServer, ProxyOverride
};
// Makes a folder the user's documents folder for the scope, as a redirected
// folder in the user's shell settings.
class TScopedDocumentsFolder {
 public:
  explicit TScopedDocumentsFolder(const std::string& path);
  ~TScopedDocumentsFolder();
  TScopedDocumentsFolder(const TScopedDocumentsFolder&) = delete;
  TScopedDocumentsFolder& operator=(const TScopedDocumentsFolder&) = delete;

 private:
  std::optional<std::string> saved_;
};
#endif

// Where a run a test starts finds the user's documents and {SYS}: on POSIX
// the folders given, which the run is pointed at (HOME, KAVREL_SYSDIR); on
// Windows the documents folder given, redirected for the scope, and the
// system's own system folder.
class TScopedRunFolders {
 public:
  TScopedRunFolders(const std::string& documents, const std::string& system);
  const std::string& System() const { return system_; }

 private:
#ifdef _WIN32
  TScopedDocumentsFolder documents_;
#endif
  std::string system_;
};

#ifdef _WIN32
// Removes a key of the current user's with all below it, and with
// `alsoMachine` the machine's key of that path.
void DeleteUserRegistryKey(const std::string& path, bool alsoMachine = false);
#endif

// A line's fields between tabs.
std::vector<std::string> TabFields(const std::string& line);
// The regional settings this process holds, as one text to compare: the C
// library's locale in every category, the C++ global locale, and the date and
// time settings the engine reads (those installed by a test, else the system's).
std::string RegionalSettings();

}  // namespace kavrel::test
