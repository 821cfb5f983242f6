#include "Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "Errors.h"
#include "LocalTime.h"
#include "OpenTemporaries.h"
#include "PathNames.h"
#include "Text.h"

namespace kavrel::platform {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw EInOutError(what + " " + path + ": " + SystemErrorText(error), error);
}

std::string ParentOf(const std::string& nativePath) {
  const std::size_t pos = nativePath.find_last_of('/');
  if (pos == std::string::npos) return ".";
  if (pos == 0) return "/";
  return nativePath.substr(0, pos);
}

// Finds a temporary name in `folder` that `create` can make: the first three
// characters of `prefix`, a hexadecimal number from 1 to FFFF and ".tmp",
// trying the numbers in turn from a random one. `create` returns 0 or the
// system error; any error but an existing name ends the search.
std::optional<std::string> MakeTemporaryName(std::string_view folder, std::string_view prefix,
                                             const std::function<int(const std::string&)>& create,
                                             int* error) {
  std::string base = ToNativePath(folder);
  if (!base.empty() && base.back() != '/') base += '/';
  base += prefix.substr(0, 3);
  constexpr unsigned kNames = 0xFFFF;
  const unsigned start = std::random_device{}() % kNames;
  int last = EEXIST;
  for (unsigned i = 0; i < kNames && last == EEXIST; ++i) {
    char number[8];
    std::snprintf(number, sizeof number, "%X", (start + i) % kNames + 1);
    std::string path = base + number + ".tmp";
    last = create(path);
    if (last == 0) return path;
  }
  if (error != nullptr) *error = last;
  return std::nullopt;
}

// A leftover has not changed for this long: a file that is being created or
// has just been written (and is about to be renamed) is younger.
constexpr std::time_t kLeftoverSeconds = 2;

// A temporary file's name: the three-letter prefix, one to four hexadecimal
// digits and ".tmp".
bool IsTemporaryName(std::string_view name, std::string_view prefix) {
  if (name.size() < prefix.size() + 5 || name.compare(0, prefix.size(), prefix) != 0 ||
      name.substr(name.size() - 4) != ".tmp")
    return false;
  const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
  return digits.size() <= 4 && digits.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// Removes a leftover temporary folder: the files in it, then the folder. One
// that holds anything but files is no folder of ours and stays as it is.
void RemoveLeftoverFolder(int parent, const char* name, int fd) {
  DIR* dir = ::fdopendir(::dup(fd));
  if (dir == nullptr) return;
  std::vector<std::string> files;
  bool ours = true;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    struct stat st {};
    ours = ours && ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
    files.emplace_back(entry->d_name);
  }
  if (ours) {
    for (const std::string& file : files) ::unlinkat(::dirfd(dir), file.c_str(), 0);
    ::unlinkat(parent, name, AT_REMOVEDIR);
  }
  ::closedir(dir);
}

// Temporary files and folders that a run ended by force (killed, the power
// gone) left in a folder. One that is in use is locked by its user; one that
// is not, is this user's and has not changed for a while is a leftover and
// goes. Each folder is swept once per process, before its first temporary
// file or folder.
void SweepLeftovers(const std::string& folder, std::string_view prefix) {
  static std::mutex lock;
  static std::set<std::string> swept;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!swept.insert(folder + "/" + std::string(prefix)).second) return;
  }
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsTemporaryName(entry->d_name, prefix)) continue;
    const int fd =
        ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) &&
        st.st_uid == ::geteuid() && now - st.st_mtime >= kLeftoverSeconds &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (S_ISDIR(st.st_mode))
        RemoveLeftoverFolder(::dirfd(dir), entry->d_name, fd);
      else
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace

std::optional<TFile> TFile::Open(std::string_view path, Mode mode, int* error) {
  const std::string native = ToNativePath(path);
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read:
      flags |= O_RDONLY;
      break;
    case Mode::AppendExisting:
      flags |= O_WRONLY | O_APPEND;
      break;
    case Mode::CreateNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL;
      break;
    case Mode::CreateOrTruncate:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case Mode::AppendOwn:
      flags |= O_WRONLY | O_APPEND | O_NOFOLLOW;
      break;
    case Mode::CreateNewPrivate:
      flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
      break;
  }
  // Only regular files are read or written, opened without blocking so that a
  // named pipe cannot hold the caller (a log or a control file named like
  // one), and a device such as /dev/zero never ends.
  const int fd =
      ::open(native.c_str(), flags | O_NONBLOCK, mode == Mode::CreateNewPrivate ? 0600 : 0666);
  if (fd < 0) {
    if (error != nullptr) *error = errno;
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (error != nullptr) *error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return std::nullopt;
  }
  if (mode == Mode::AppendOwn && st.st_uid != ::geteuid()) {
    ::close(fd);
    if (error != nullptr) *error = EACCES;
    return std::nullopt;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return TFile(fd, native);
}

std::optional<TFile> TFile::CreateUnique(std::string_view folder, std::string_view prefix,
                                         std::string& path, int* error) {
  std::string pattern = ToNativePath(folder);
  if (!pattern.empty() && pattern.back() != '/') pattern += '/';
  pattern += std::string(prefix) + "XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    if (error != nullptr) *error = errno;
    return std::nullopt;
  }
  path = pattern;
  return TFile(fd, pattern);
}

std::optional<TFile> TFile::CreateTemporary(std::string_view folder, std::string_view prefix,
                                            std::string& path, int* error) {
  SweepLeftovers(ToNativePath(folder), prefix.substr(0, 3));
  int handle = -1;
  const auto name = MakeTemporaryName(
      folder, prefix,
      [&handle](const std::string& candidate) {
        handle = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (handle < 0) return errno;
        // Held while the file is open, so that no other run takes it for a leftover.
        ::flock(handle, LOCK_EX | LOCK_NB);
        return 0;
      },
      error);
  if (!name) return std::nullopt;
  path = *name;
  RegisterOpenTemporary(*name);
  return TFile(handle, *name);
}

// The holder removes the file when it lets go, so a taker checks that the
// file it locked is still the one under the name; otherwise it came between
// the last holder's removal and its own lock, and tries again.
std::optional<TFileLock> TFileLock::Acquire(std::string_view path, bool wait, int* error) {
  const std::string native = ToNativePath(path);
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    int locked = -1;
    if (fd >= 0) {
      do locked = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
      while (locked != 0 && errno == EINTR);
    }
    if (fd < 0 || locked != 0) {
      if (error != nullptr) *error = errno;
      if (fd >= 0) ::close(fd);
      return std::nullopt;
    }
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) == 0 && ::stat(native.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
      return TFileLock(fd, native);
    ::close(fd);
  }
  if (error != nullptr) *error = EWOULDBLOCK;
  return std::nullopt;
}

TFileLock::~TFileLock() {
  if (handle_ < 0) return;
  ::unlink(path_.c_str());
  ::close(handle_);
}

TFile::TFile(TFile&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}

TFile& TFile::operator=(TFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(handle_);
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = -1;
  }
  return *this;
}

TFile::~TFile() {
  if (handle_ >= 0) ForgetOpenTemporary(path_);
  if (handle_ >= 0) ::close(handle_);
}

std::size_t TFile::Read(void* buffer, std::size_t size) {
  while (true) {
    const ssize_t n = ::read(handle_, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) Fail("Cannot read", path_, errno);
  }
}

std::size_t TFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(handle_, static_cast<char*>(buffer) + done, size - done,
                              static_cast<off_t>(offset + done));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read", path_, errno);
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void TFile::Write(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(handle_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write", path_, errno);
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
}

void TFile::Sync() {
  if (::fsync(handle_) != 0) Fail("Cannot flush", path_, errno);
}

void TFile::Close() {
  if (handle_ < 0) return;
  ForgetOpenTemporary(path_);
  const int fd = handle_;
  handle_ = -1;
  if (::close(fd) != 0 && errno != EINTR) Fail("Cannot close", path_, errno);
}

std::int64_t TFile::Size() const {
  struct stat st {};
  if (::fstat(handle_, &st) != 0) return -1;
  return st.st_size;
}

bool FileExists(std::string_view path) {
  struct stat st {};
  return ::stat(ToNativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::optional<std::string> ExistingIgnoringCase(std::string_view path) {
  if (FileExists(path)) return std::string(path);
  const std::string folder(FolderPart(path));
  const std::string_view name = BaseName(path);
  DIR* dir = ::opendir(folder.empty() ? "." : ToNativePath(folder).c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(dir)) {
    if (SameText(entry->d_name, name)) {
      found = folder.empty() ? std::string(entry->d_name) : folder + "/" + entry->d_name;
      if (FileExists(*found)) break;
      found.reset();
    }
  }
  ::closedir(dir);
  return found;
}

bool DirectoryExists(std::string_view path) {
  struct stat st {};
  return !path.empty() && ::stat(ToNativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void WriteFileAtomically(std::string_view path, std::string_view content) {
  const std::string native = ToNativePath(path);
  std::string temp;
  int error = 0;
  auto file = TFile::CreateTemporary(ParentOf(native), "KAV", temp, &error);
  if (!file) Fail("Cannot create a file beside", native, error);
  // The new file keeps the old one's permissions; a new one may be read by all.
  struct stat old {};
  const mode_t mode = ::stat(native.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  ::chmod(temp.c_str(), mode);
  try {
    file->Write(content);
    file->Sync();
    file->Close();
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  if (::rename(temp.c_str(), native.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    Fail("Cannot replace", native, error);
  }
  // Make the rename itself durable.
  const int dir = ::open(ParentOf(native).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

std::optional<TTemporaryFolder> TTemporaryFolder::Create(std::string_view folder,
                                                         std::string_view prefix) {
  SweepLeftovers(ToNativePath(folder), prefix.substr(0, 3));
  int hold = -1;
  const auto name = MakeTemporaryName(
      folder, prefix,
      [&hold](const std::string& candidate) {
        if (::mkdir(candidate.c_str(), 0700) != 0) return errno;
        // Held while the folder is in use, so that no other run takes it for
        // a leftover.
        hold = ::open(candidate.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (hold >= 0) ::flock(hold, LOCK_EX | LOCK_NB);
        return 0;
      },
      nullptr);
  if (!name) return std::nullopt;
  return TTemporaryFolder(hold, *name);
}

TTemporaryFolder::~TTemporaryFolder() {
  if (path_.empty()) return;
  ::rmdir(path_.c_str());
  if (hold_ >= 0) ::close(hold_);
}

bool CreateFolder(std::string_view path) { return ::mkdir(ToNativePath(path).c_str(), 0777) == 0; }

bool ForceDirectories(std::string_view path) {
  const std::string native = ToNativePath(path);
  if (native.empty()) return false;
  if (DirectoryExists(native)) return true;
  std::string partial;
  for (std::size_t i = 0; i <= native.size(); ++i) {
    if (i == native.size() || native[i] == '/') {
      if (!partial.empty() && !DirectoryExists(partial) && ::mkdir(partial.c_str(), 0777) != 0 &&
          errno != EEXIST)
        return false;
    }
    if (i < native.size()) partial += native[i];
  }
  return DirectoryExists(native);
}

namespace {

// The permissions a new file of this process gets: 0666 less the umask,
// read from the kernel so that nothing process-wide is changed.
mode_t NewFileMode() {
  const auto status = ReadWholeFile("/proc/self/status");
  if (status) {
    const std::size_t at = status->find("Umask:");
    if (at != std::string::npos)
      return 0666 & ~static_cast<mode_t>(std::strtoul(status->c_str() + at + 6, nullptr, 8));
  }
  return 0644;
}

}  // namespace

void ShareLike(std::string_view file, std::string_view model) {
  // Only a file is a model: a folder's search bits would make a file
  // executable, and its other bits are no file's usual ones.
  struct stat st {};
  const mode_t mode = ::stat(ToNativePath(model).c_str(), &st) == 0 && S_ISREG(st.st_mode)
                          ? (st.st_mode & 07777)
                          : NewFileMode();
  ::chmod(ToNativePath(file).c_str(), mode);
}

bool SameFile(std::string_view a, std::string_view b) {
  struct stat first {
  }, second{};
  return ::stat(ToNativePath(a).c_str(), &first) == 0 &&
         ::stat(ToNativePath(b).c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

bool DeleteFileAt(std::string_view path) { return ::unlink(ToNativePath(path).c_str()) == 0; }

namespace {

// Copies a file's bytes to a new file beside the destination, flushed, then
// renamed into place, so that the destination never holds a part of the file.
// The copy gets the permissions of `model`.
bool CopyBeside(const std::string& from, const std::string& to, const std::string& model,
                TCopyCheck* check = nullptr) {
  auto source = TFile::Open(from, TFile::Mode::Read);
  if (!source) return false;
  std::string temp;
  auto target = TFile::CreateTemporary(ParentOf(to), "KAV", temp);
  if (!target) return false;
  ShareLike(temp, model);
  try {
    std::vector<char> block(65536);
    while (const std::size_t n = source->Read(block.data(), block.size())) {
      target->Write(block.data(), n);
      if (check != nullptr) check->Add(block.data(), n);
    }
    target->Sync();
    target->Close();
  } catch (const EInOutError&) {
    ::unlink(temp.c_str());
    return false;
  }
  if (check != nullptr && !check->Accept()) {
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), to.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool CopyAcrossFileSystems(const std::string& from, const std::string& to) {
  if (!CopyBeside(from, to, from)) return false;
  ::unlink(from.c_str());
  return true;
}

}  // namespace

bool MoveFileTo(std::string_view from, std::string_view to) {
  const std::string source = ToNativePath(from);
  const std::string target = ToNativePath(to);
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) return false;
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  return errno == EXDEV && CopyAcrossFileSystems(source, target);
}

bool ReplaceFileWith(std::string_view from, std::string_view to) {
  const std::string source = ToNativePath(from);
  const std::string target = ToNativePath(to);
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  return errno == EXDEV && CopyAcrossFileSystems(source, target);
}

bool CopyFileOver(std::string_view from, std::string_view to, TCopyCheck* check) {
  const std::string source = ToNativePath(from);
  const std::string target = ToNativePath(to);
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return CopyBeside(source, target, ::stat(target.c_str(), &st) == 0 ? target : source, check);
}

bool LinkFile(std::string_view existing, std::string_view link) {
  return ::link(ToNativePath(existing).c_str(), ToNativePath(link).c_str()) == 0;
}

bool SetLastWriteTime(std::string_view path, TDateTime localTime) {
  const TDateParts parts = DecodeDateTime(localTime);
  tm local{};
  local.tm_year = parts.Year - 1900;
  local.tm_mon = parts.Month - 1;
  local.tm_mday = parts.Day;
  local.tm_hour = parts.Hour;
  local.tm_min = parts.Minute;
  local.tm_sec = parts.Second;
  local.tm_isdst = -1;  // the zone's own rule for that day
  const time_t seconds = ::mktime(&local);
  if (seconds == static_cast<time_t>(-1) && parts.Year != 1969) return false;
  const timespec times[2] = {{0, UTIME_OMIT}, {seconds, parts.Millisecond * 1000000L}};
  return ::utimensat(AT_FDCWD, ToNativePath(path).c_str(), times, 0) == 0;
}

std::uint32_t PermissionBits(std::string_view path) {
  struct stat st {};
  return ::stat(ToNativePath(path).c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

void SetPermissionBits(std::string_view path, std::uint32_t bits) {
  ::chmod(ToNativePath(path).c_str(), bits & 07777);
}

bool MakeExecutable(std::string_view path) {
  const std::string native = ToNativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return false;
  const mode_t mode = st.st_mode & 07777;
  return ::chmod(native.c_str(), mode | ((mode & 0444) >> 2)) == 0;
}

std::optional<TDiskSpace> DiskSpace(std::string_view folder) {
  struct statvfs info {};
  const std::string native = ToNativePath(folder.empty() ? std::string_view(".") : folder);
  if (::statvfs(native.c_str(), &info) != 0) return std::nullopt;
  return TDiskSpace{static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize,
                    static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize};
}

std::optional<std::string> RegularFileDestination(std::string_view path) {
  std::string native = ToNativePath(path);
  // Link after link, as far as a sane chain goes.
  for (int links = 0; links <= 8; ++links) {
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0)
      return errno == ENOENT ? std::optional(native) : std::nullopt;
    if (S_ISREG(st.st_mode)) return native;
    if (!S_ISLNK(st.st_mode)) return std::nullopt;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(native.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    native = target.front() == '/' ? target : ParentOf(native) + "/" + target;
  }
  return std::nullopt;
}

bool OwnedByThisUser(std::string_view path) {
  struct stat st {};
  return ::lstat(ToNativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         st.st_uid == ::geteuid();
}

bool MakePrivate(std::string_view path) {
  return ::chmod(ToNativePath(path).c_str(), S_IRUSR | S_IWUSR) == 0;
}

bool ClearReadOnlyHidden(std::string_view path) {
  const std::string native = ToNativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return false;
  return ::chmod(native.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool CanWrite(std::string_view path) {
  const std::string native = ToNativePath(path);
  if (::access(native.c_str(), F_OK) == 0) return ::access(native.c_str(), W_OK) == 0;
  std::string parent = ParentOf(native);
  while (::access(parent.c_str(), F_OK) != 0 && parent != "/" && parent != ".")
    parent = ParentOf(parent);
  return ::access(parent.c_str(), W_OK | X_OK) == 0;
}

std::optional<TDateTime> LastWriteTime(std::string_view path) {
  struct stat st {};
  if (::stat(ToNativePath(path).c_str(), &st) != 0) return std::nullopt;
  return ToLocalDateTime(st.st_mtim);
}

bool SetCurrentDir(std::string_view path) { return ::chdir(ToNativePath(path).c_str()) == 0; }

std::string GetCurrentDir() {
  std::vector<char> buffer(PATH_MAX);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return ".";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace kavrel::platform
