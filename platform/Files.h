// Files and folders of the local file system. Paths may use "\" or "/".
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "DateTime.h"

namespace kavrel::platform {

// An open file, closed when the object goes; Close() reports a failure to close.
class TFile {
 public:
  enum class Mode {
    Read,              // existing regular file, reading
    AppendExisting,    // existing file, writes go to its end
    CreateNew,         // a file that must not exist yet
    CreateOrTruncate,  // created, or emptied when it exists
    // A log's ways: an existing file of this user, never reached through a
    // link; a new file only this user may read and write.
    AppendOwn,
    CreateNewPrivate,
  };

  // Nothing when the file cannot be opened; `error` receives the system error.
  static std::optional<TFile> Open(std::string_view path, Mode mode, int* error = nullptr);
  // Creates a new, empty file with a unique name that starts with `prefix` in
  // `folder`, open for writing; its path goes to `path`.
  static std::optional<TFile> CreateUnique(std::string_view folder, std::string_view prefix,
                                           std::string& path, int* error = nullptr);
  // Creates a new, empty temporary file in `folder`, open for reading and
  // writing and private to this user; its path goes to `path`. The name is the first three
  // characters of `prefix`, a hexadecimal number not yet taken there and
  // ".tmp" ("KAV1F3A.tmp" for "KAVR"), so that a leftover is recognised. The
  // file is locked while it is open. The first call for a folder removes the
  // leftovers of runs that were ended by force: files of that name pattern of
  // this user that nobody holds open and that have not changed for seconds.
  static std::optional<TFile> CreateTemporary(std::string_view folder, std::string_view prefix,
                                              std::string& path, int* error = nullptr);

  TFile(TFile&& other) noexcept;
  TFile& operator=(TFile&& other) noexcept;
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  ~TFile();

  // Bytes read, 0 at the end; raises EInOutError when reading fails.
  std::size_t Read(void* buffer, std::size_t size);
  // Reads at a position without moving the file's own position; fewer bytes
  // than asked only at the end. Raises EInOutError when reading fails.
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size);
  // Writes everything or raises EInOutError.
  void Write(const void* data, std::size_t size);
  void Write(std::string_view data) { Write(data.data(), data.size()); }
  // Flushes to the device; raises EInOutError on failure.
  void Sync();
  // Raises EInOutError when closing fails.
  void Close();
  std::int64_t Size() const;

 private:
  friend class TMappedFile;
  explicit TFile(std::intptr_t handle, std::string path)
      : handle_(handle), path_(std::move(path)) {}
  // A file descriptor, or a Windows handle; -1 when closed.
  std::intptr_t handle_ = -1;
  std::string path_;
};

// Deletes the temporary files this process holds open, for an end that skips
// every destructor (the display lost under a window).
void DeleteOpenTemporaryFiles();

bool FileExists(std::string_view path);
// An existing file of this name in its folder, the case of its name aside: the
// path itself when it exists, else the first entry whose name differs only in
// case (names from Windows rarely match a case-sensitive file system's);
// nothing when there is none.
std::optional<std::string> ExistingIgnoringCase(std::string_view path);
bool DirectoryExists(std::string_view path);
// The whole content of a file, or nothing when it cannot be opened or read, or
// when it is longer than `limit` bytes.
std::optional<std::string> ReadWholeFile(std::string_view path,
                                         std::size_t limit = static_cast<std::size_t>(-1));
// An advisory lock on a file, held until the object goes or the process ends,
// however it ends.
class TFileLock {
 public:
  // Takes the lock without waiting, creating the file (private to this user)
  // when it is missing; the file is removed when the lock is let go. Nothing
  // when another process holds it (`error` is then EWOULDBLOCK) or the file
  // cannot be opened.
  static std::optional<TFileLock> TryTake(std::string_view path, int* error = nullptr);
  // The same, waiting for as long as another process holds it.
  static std::optional<TFileLock> Take(std::string_view path, int* error = nullptr);
  // The same, waiting at most `limit`; then nothing, with `error` EWOULDBLOCK.
  static std::optional<TFileLock> TakeWithin(std::string_view path, std::chrono::milliseconds limit,
                                             int* error = nullptr);
  TFileLock(TFileLock&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
    other.handle_ = -1;
  }
  TFileLock& operator=(TFileLock&&) = delete;
  TFileLock(const TFileLock&) = delete;
  ~TFileLock();

 private:
  TFileLock(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  static std::optional<TFileLock> Acquire(std::string_view path, bool wait, int* error);
  std::intptr_t handle_;
  std::string path_;
};

// Writes a file so that readers see either the old content or the new one:
// a temporary file beside it, flushed, then renamed over it. Raises EInOutError.
void WriteFileAtomically(std::string_view path, std::string_view content);
// Creates one folder; true when it was made.
bool CreateFolder(std::string_view path);
// A new, empty folder of this user alone, named like a temporary file (see
// TFile::CreateTemporary) and held while the object lives, so that the first
// temporary file or folder another run makes beside it does not take it for a
// leftover. It is removed when the object goes, if it is empty by then.
class TTemporaryFolder {
 public:
  // Nothing when no folder can be made in `folder`.
  static std::optional<TTemporaryFolder> Create(std::string_view folder, std::string_view prefix);
  TTemporaryFolder(TTemporaryFolder&& other) noexcept
      : hold_(other.hold_), path_(std::move(other.path_)) {
    other.hold_ = -1;
    other.path_.clear();
  }
  TTemporaryFolder& operator=(TTemporaryFolder&&) = delete;
  TTemporaryFolder(const TTemporaryFolder&) = delete;
  ~TTemporaryFolder();
  const std::string& Path() const { return path_; }

 private:
  TTemporaryFolder(std::intptr_t hold, std::string path) : hold_(hold), path_(std::move(path)) {}
  std::intptr_t hold_;
  std::string path_;
};
// The space of the file system that holds `folder`: what this user may still
// write, and its whole size; nothing when it cannot be told.
struct TDiskSpace {
  std::uint64_t Free = 0;
  std::uint64_t Total = 0;
};
std::optional<TDiskSpace> DiskSpace(std::string_view folder);
// Where a file written as `path` belongs: `path` itself when nothing is there
// or it is a regular file, the file a link leads to when that is a regular
// file (or missing); nothing for anything else (a device, a pipe, a folder).
std::optional<std::string> RegularFileDestination(std::string_view path);
// Whether this user may create files in `folder`: a file is made there and
// removed again.
bool CanCreateIn(std::string_view folder);
// Creates a folder and the folders above it; true when it exists afterwards.
bool ForceDirectories(std::string_view path);
bool DeleteFileAt(std::string_view path);
// Gives a new file (a finished download) the permissions of `model` when that
// is a file (so a program stays executable), else, also where `model` is a
// folder, those of any new file of this user. Temporary files are made
// private while they are written.
void ShareLike(std::string_view file, std::string_view model);
// True when both paths name one existing file, whatever their spelling.
bool SameFile(std::string_view a, std::string_view b);
// Moves a file, also to another file system (copied, then the source deleted).
// Fails when the destination exists.
bool MoveFileTo(std::string_view from, std::string_view to);
// Puts `from` in the place of `to` in one step, so that no moment exists
// without a file there: renamed over it, or, across file systems, copied
// beside it first. False when that cannot be done; both files then stay.
bool ReplaceFileWith(std::string_view from, std::string_view to);
// Copies `from` over `to` in one step: a complete copy beside `to`, flushed,
// then renamed over it, so that `to` is always the old file or the new one.
// The copy keeps the permissions of the file it replaces (a new file gets
// those of `from`). False when that cannot be done; `to` then stays as it was.
// Looks at a copy as it is made and decides whether it may take its place.
class TCopyCheck {
 public:
  virtual ~TCopyCheck() = default;
  virtual void Add(const char* bytes, std::size_t count) = 0;
  virtual bool Accept() = 0;
};
bool CopyFileOver(std::string_view from, std::string_view to, TCopyCheck* check = nullptr);
// Gives an existing file a second name (a hard link) in the same file system;
// false where that cannot be done (the name is taken, the file system has no
// links, another file system).
bool LinkFile(std::string_view existing, std::string_view link);
// Sets when a file was last written, given in local time (the access time
// stays as it is).
bool SetLastWriteTime(std::string_view path, TDateTime localTime);
// Lets whoever may read the file also run it.
bool MakeExecutable(std::string_view path);
// A file's permission bits where the system has them (07777 at most); 0 where
// it has none or the file is missing.
std::uint32_t PermissionBits(std::string_view path);
// Sets them where the system has them.
void SetPermissionBits(std::string_view path, std::uint32_t bits);
// A regular file (no link) that belongs to this user: one another user cannot
// have placed. Windows leaves this to the folder's permissions: true for any file.
bool OwnedByThisUser(std::string_view path);
// Lets only this user read and write the file (a secret key, before anything
// is written to it). Windows leaves a file of the user's profile to its
// folder's permissions.
bool MakePrivate(std::string_view path);
// Removes the read-only and hidden marks a file can carry on this system.
// False when the file's attributes cannot be read or written.
bool ClearReadOnlyHidden(std::string_view path);
// True when this user may write the file, or create it where it does not exist.
bool CanWrite(std::string_view path);
// When the file was last written, in local time; nothing when it cannot be read.
std::optional<TDateTime> LastWriteTime(std::string_view path);

std::string GetCurrentDir();
// Makes a folder the process's current one; false when it cannot.
bool SetCurrentDir(std::string_view path);

}  // namespace kavrel::platform
