// Files and folders on the Windows file services. A handle is kept in the
// platform-neutral integer of the classes; INVALID_HANDLE_VALUE is -1 there.
#include "Files.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "Errors.h"
#include "OpenTemporaries.h"
#include "PathNames.h"
#include "WideText.h"

namespace kavrel::platform {

using win32::Utf8;
using win32::Wide;

namespace {

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
std::intptr_t AsValue(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }
std::wstring WidePath(std::string_view path) { return Wide(ToNativePath(path)); }
int LastError() { return static_cast<int>(::GetLastError()); }

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw EInOutError(what + " " + path + ": " + SystemErrorText(error), error);
}

// The folder of a native path: "C:\" for a name in a drive's root, "." for a
// bare name.
std::string ParentOf(const std::string& nativePath) {
  const std::size_t pos = nativePath.find_last_of('\\');
  if (pos == std::string::npos)
    return nativePath.size() >= 2 && nativePath[1] == ':' ? nativePath.substr(0, 2)
                                                          : std::string(".");
  if (pos == 0) return "\\";
  if (pos == 2 && nativePath[1] == ':') return nativePath.substr(0, 3);
  return nativePath.substr(0, pos);
}

bool NameTaken(int error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// Finds a temporary name in `folder` that `create` can make: the first three
// characters of `prefix`, a hexadecimal number from 1 to FFFF and ".tmp",
// trying the numbers in turn from a random one. `create` returns 0 or the
// system error; any error but an existing name ends the search.
std::optional<std::string> MakeTemporaryName(std::string_view folder, std::string_view prefix,
                                             const std::function<int(const std::string&)>& create,
                                             int* error) {
  std::string base = ToNativePath(folder);
  if (!base.empty() && base.back() != '\\' && base.back() != ':') base += '\\';
  base += prefix.substr(0, 3);
  constexpr unsigned kNames = 0xFFFF;
  const unsigned start = std::random_device{}() % kNames;
  int last = ERROR_FILE_EXISTS;
  for (unsigned i = 0; i < kNames && NameTaken(last); ++i) {
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
constexpr std::uint64_t kLeftoverTicks = 2ULL * 10000000ULL;  // 100 ns units

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool IsTemporaryName(std::string_view name, std::string_view prefix) {
  if (name.size() < prefix.size() + 5 || name.compare(0, prefix.size(), prefix) != 0 ||
      name.substr(name.size() - 4) != ".tmp")
    return false;
  const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
  return digits.size() <= 4 && digits.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// Removes a leftover temporary folder: the files in it, then the folder. Its
// user holds it open without letting others delete it, so opening it for
// deletion fails while it is in use: then it stays, and so does everything in
// it. One that holds anything but files is no folder of ours and stays too.
void RemoveLeftoverFolder(const std::wstring& path) {
  const HANDLE probe = ::CreateFileW(
      path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return;
  // Let go before the listing: a listing may not share deletion. Nobody
  // takes up a leftover again, so it stays one meanwhile.
  ::CloseHandle(probe);
  std::vector<std::wstring> files;
  bool ours = true;
  WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      ours = ours && (found.dwFileAttributes &
                      (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
      files.push_back(path + L"\\" + name);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  if (!ours) return;
  for (const std::wstring& file : files) ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(path.c_str());
}

// Temporary files and folders that a run ended by force (killed, the power
// gone) left in a folder. One that is in use is held open by its user without
// sharing deletion, so it cannot be deleted; one that can be deleted and has
// not changed for a while is a leftover and goes. The temporary folder is
// the user's own, so whatever can be deleted there is this user's. Each
// folder is swept once per process, before its first temporary file or folder.
void SweepLeftovers(const std::string& folder, std::string_view prefix) {
  static std::mutex lock;
  static std::set<std::string> swept;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!swept.insert(folder + "\\" + std::string(prefix)).second) return;
  }
  std::wstring base = Wide(folder.empty() ? std::string(".") : folder);
  if (base.back() != L'\\') base += L'\\';
  FILETIME nowTime{};
  ::GetSystemTimeAsFileTime(&nowTime);
  const std::uint64_t now = Ticks(nowTime);
  WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileW((base + Wide(prefix) + L"*.tmp").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!IsTemporaryName(Utf8(found.cFileName), prefix)) continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
    const std::uint64_t written = Ticks(found.ftLastWriteTime);
    if (written > now || now - written < kLeftoverTicks) continue;
    const std::wstring path = base + found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      RemoveLeftoverFolder(path);
    else
      ::DeleteFileW(path.c_str());
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
}

// A handle to a file or folder itself, for its facts, whoever else has it open.
HANDLE OpenForFacts(const std::wstring& path, DWORD access = 0) {
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::optional<TFile> TFile::Open(std::string_view path, Mode mode, int* error) {
  const std::string native = ToNativePath(path);
  DWORD access = FILE_READ_ATTRIBUTES;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case Mode::Read:
      access |= GENERIC_READ;
      break;
    case Mode::AppendExisting:
      access |= FILE_APPEND_DATA | SYNCHRONIZE;
      break;
    case Mode::CreateNew:
      access |= GENERIC_WRITE;
      disposition = CREATE_NEW;
      break;
    case Mode::CreateOrTruncate:
      access |= GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      break;
    case Mode::AppendOwn:
      access |= FILE_APPEND_DATA | SYNCHRONIZE;
      break;
    case Mode::CreateNewPrivate:
      // The folder's permissions (the user's profile) are the file's.
      access |= GENERIC_WRITE;
      disposition = CREATE_NEW;
      break;
  }
  // A log is never written through a link: the link itself is opened, and refused.
  const DWORD flags =
      FILE_ATTRIBUTE_NORMAL |
      (mode == Mode::AppendOwn || mode == Mode::CreateNewPrivate ? FILE_FLAG_OPEN_REPARSE_POINT
                                                                 : 0);
  // Others may read, write, rename or delete the file meanwhile, as on
  // systems whose files are never locked by being open.
  const HANDLE h = ::CreateFileW(Wide(native).c_str(), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error != nullptr) *error = LastError();
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 &&
      (!::GetFileInformationByHandle(h, &info) ||
       (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
    ::CloseHandle(h);
    if (error != nullptr) *error = ERROR_ACCESS_DENIED;
    return std::nullopt;
  }
  // Only files on a disk are read or written: a device name ("CON", "NUL")
  // or a pipe never ends or blocks the caller.
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    if (error != nullptr) *error = ERROR_INVALID_PARAMETER;
    return std::nullopt;
  }
  return TFile(AsValue(h), native);
}

std::optional<TFile> TFile::CreateUnique(std::string_view folder, std::string_view prefix,
                                         std::string& path, int* error) {
  std::string base = ToNativePath(folder);
  if (!base.empty() && base.back() != '\\' && base.back() != ':') base += '\\';
  base += prefix;
  std::mt19937 random(std::random_device{}());
  int last = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 1000 && NameTaken(last); ++attempt) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "%06X", static_cast<unsigned>(random() & 0xFFFFFF));
    const std::string candidate = base + suffix;
    const HANDLE h =
        ::CreateFileW(Wide(candidate).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      path = candidate;
      return TFile(AsValue(h), candidate);
    }
    last = LastError();
  }
  if (error != nullptr) *error = last;
  return std::nullopt;
}

std::optional<TFile> TFile::CreateTemporary(std::string_view folder, std::string_view prefix,
                                            std::string& path, int* error) {
  SweepLeftovers(ToNativePath(folder), prefix.substr(0, 3));
  HANDLE handle = INVALID_HANDLE_VALUE;
  const auto name = MakeTemporaryName(
      folder, prefix,
      [&handle](const std::string& candidate) {
        // Held without sharing deletion while it is open, so that no other
        // run's sweep deletes it. The user's temporary folder keeps it to
        // this user.
        handle =
            ::CreateFileW(Wide(candidate).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle == INVALID_HANDLE_VALUE ? LastError() : 0;
      },
      error);
  if (!name) return std::nullopt;
  path = *name;
  RegisterOpenTemporary(*name);
  return TFile(AsValue(handle), *name);
}

// The lock is the file itself, open without sharing and deleted when its
// handle closes, also when the process is ended by force. Another taker's
// opening fails while it is held; just after it went, its deletion may
// still be pending for a moment, which a taker waits out as well.
std::optional<TFileLock> TFileLock::Acquire(std::string_view path, bool wait, int* error) {
  const std::string native = ToNativePath(path);
  const std::wstring wide = Wide(native);
  for (int attempt = 0;; ++attempt) {
    const HANDLE h =
        ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) return TFileLock(AsValue(h), native);
    const DWORD failure = ::GetLastError();
    const bool held = failure == ERROR_SHARING_VIOLATION || failure == ERROR_LOCK_VIOLATION;
    const bool pending = failure == ERROR_ACCESS_DENIED && attempt < 50;
    if (!(held && wait) && !pending) {
      if (error != nullptr)
        *error = held ? ErrorNumber(TErrorKind::WouldBlock) : static_cast<int>(failure);
      return std::nullopt;
    }
    ::Sleep(held ? 100 : 20);
  }
}

TFileLock::~TFileLock() {
  if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
}

TFile::TFile(TFile&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}

TFile& TFile::operator=(TFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = -1;
  }
  return *this;
}

TFile::~TFile() {
  if (handle_ != -1) ForgetOpenTemporary(path_);
  if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
}

namespace {
constexpr std::size_t kMaxChunk = 1 << 30;  // what one call reads or writes at most
}  // namespace

std::size_t TFile::Read(void* buffer, std::size_t size) {
  DWORD n = 0;
  const auto chunk = static_cast<DWORD>(size < kMaxChunk ? size : kMaxChunk);
  if (!::ReadFile(AsHandle(handle_), buffer, chunk, &n, nullptr)) {
    const int error = LastError();
    if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return 0;
    Fail("Cannot read", path_, error);
  }
  return n;
}

std::size_t TFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  // A read at a position moves the position of a handle opened for plain
  // access: it is put back afterwards.
  const HANDLE h = AsHandle(handle_);
  LARGE_INTEGER zero{}, position{};
  const bool kept = ::SetFilePointerEx(h, zero, &position, FILE_CURRENT) != 0;
  std::size_t done = 0;
  int error = 0;
  while (done < size) {
    OVERLAPPED at{};
    const std::uint64_t where = offset + done;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    const std::size_t left = size - done;
    DWORD n = 0;
    if (!::ReadFile(h, static_cast<char*>(buffer) + done,
                    static_cast<DWORD>(left < kMaxChunk ? left : kMaxChunk), &n, &at)) {
      if (::GetLastError() != ERROR_HANDLE_EOF) error = LastError();
      break;
    }
    if (n == 0) break;
    done += n;
  }
  if (kept) ::SetFilePointerEx(h, position, nullptr, FILE_BEGIN);
  if (error != 0) Fail("Cannot read", path_, error);
  return done;
}

void TFile::Write(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD n = 0;
    if (!::WriteFile(AsHandle(handle_), p, static_cast<DWORD>(size < kMaxChunk ? size : kMaxChunk),
                     &n, nullptr))
      Fail("Cannot write", path_, LastError());
    p += n;
    size -= n;
  }
}

void TFile::Sync() {
  if (!::FlushFileBuffers(AsHandle(handle_))) Fail("Cannot flush", path_, LastError());
}

void TFile::Close() {
  if (handle_ == -1) return;
  ForgetOpenTemporary(path_);
  const HANDLE h = AsHandle(handle_);
  handle_ = -1;
  if (!::CloseHandle(h)) Fail("Cannot close", path_, LastError());
}

std::int64_t TFile::Size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(AsHandle(handle_), &size)) return -1;
  return size.QuadPart;
}

bool FileExists(std::string_view path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Windows' names are without case already.
std::optional<std::string> ExistingIgnoringCase(std::string_view path) {
  return FileExists(path) ? std::optional<std::string>(path) : std::nullopt;
}

bool DirectoryExists(std::string_view path) {
  if (path.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

// Renames over an existing file; the data reaches the disk before the call
// returns.
bool RenameOver(const std::string& from, const std::string& to) {
  return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

void WriteFileAtomically(std::string_view path, std::string_view content) {
  const std::string native = ToNativePath(path);
  std::string temp;
  int error = 0;
  auto file = TFile::CreateTemporary(ParentOf(native), "KAV", temp, &error);
  if (!file) Fail("Cannot create a file beside", native, error);
  try {
    file->Write(content);
    file->Sync();
    file->Close();
  } catch (...) {
    file.reset();
    ::DeleteFileW(Wide(temp).c_str());
    throw;
  }
  if (!RenameOver(temp, native)) {
    const int failure = LastError();
    ::DeleteFileW(Wide(temp).c_str());
    Fail("Cannot replace", native, failure);
  }
}

std::optional<TTemporaryFolder> TTemporaryFolder::Create(std::string_view folder,
                                                         std::string_view prefix) {
  SweepLeftovers(ToNativePath(folder), prefix.substr(0, 3));
  HANDLE hold = INVALID_HANDLE_VALUE;
  const auto name = MakeTemporaryName(
      folder, prefix,
      [&hold](const std::string& candidate) {
        const std::wstring wide = Wide(candidate);
        if (!::CreateDirectoryW(wide.c_str(), nullptr)) return LastError();
        // Held open without sharing deletion while it is in use, so that no
        // other run's sweep takes it for a leftover.
        hold = ::CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        return 0;
      },
      nullptr);
  if (!name) return std::nullopt;
  return TTemporaryFolder(AsValue(hold), *name);
}

TTemporaryFolder::~TTemporaryFolder() {
  if (path_.empty()) return;
  // The hold would keep the folder itself from being removed.
  if (hold_ != -1) ::CloseHandle(AsHandle(hold_));
  ::RemoveDirectoryW(Wide(path_).c_str());
}

bool CreateFolder(std::string_view path) {
  return ::CreateDirectoryW(WidePath(path).c_str(), nullptr) != 0;
}

bool ForceDirectories(std::string_view path) {
  std::string native = ToNativePath(path);
  while (native.size() > 1 && native.back() == '\\' && native[native.size() - 2] != ':')
    native.pop_back();
  if (native.empty()) return false;
  if (DirectoryExists(native)) return true;
  // The parts of the path one by one; a drive ("C:") or a share
  // ("\\server\share") is where the making starts, not a folder to make.
  std::size_t start = 0;
  if (native.size() >= 2 && native[1] == ':')
    start = 2;
  else if (native.rfind("\\\\", 0) == 0) {
    const std::size_t server = native.find('\\', 2);
    start = server == std::string::npos ? native.size() : native.find('\\', server + 1);
    if (start == std::string::npos) start = native.size();
  }
  for (std::size_t i = start + 1; i <= native.size(); ++i) {
    if (i < native.size() && native[i] != '\\') continue;
    const std::string partial = native.substr(0, i);
    if (partial.empty() || partial.back() == '\\' || DirectoryExists(partial)) continue;
    if (!::CreateDirectoryW(Wide(partial).c_str(), nullptr) && !NameTaken(LastError()))
      return false;
  }
  return DirectoryExists(native);
}

// A new file gets the access rules of its folder on Windows, and no file is
// marked executable: there is nothing to copy from a model.
// Windows keeps no permission bits in the file, but a read-only mark, which
// the new file takes over as POSIX systems keep a file's mode.
void ShareLike(std::string_view file, std::string_view model) {
  const DWORD modelAttributes = ::GetFileAttributesW(WidePath(model).c_str());
  const DWORD fileAttributes = ::GetFileAttributesW(WidePath(file).c_str());
  if (modelAttributes == INVALID_FILE_ATTRIBUTES || fileAttributes == INVALID_FILE_ATTRIBUTES ||
      (modelAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return;
  if ((modelAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    ::SetFileAttributesW(WidePath(file).c_str(), fileAttributes | FILE_ATTRIBUTE_READONLY);
}

bool SameFile(std::string_view a, std::string_view b) {
  const HANDLE first = OpenForFacts(WidePath(a));
  if (first == INVALID_HANDLE_VALUE) return false;
  const HANDLE second = OpenForFacts(WidePath(b));
  BY_HANDLE_FILE_INFORMATION one{}, two{};
  const bool same = second != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(first, &one) &&
                    ::GetFileInformationByHandle(second, &two) &&
                    one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
                    one.nFileIndexHigh == two.nFileIndexHigh &&
                    one.nFileIndexLow == two.nFileIndexLow;
  ::CloseHandle(first);
  if (second != INVALID_HANDLE_VALUE) ::CloseHandle(second);
  return same;
}

bool DeleteFileAt(std::string_view path) { return ::DeleteFileW(WidePath(path).c_str()) != 0; }

namespace {

// Copies a file's bytes to a new file beside the destination, flushed, then
// renamed into place (over an existing file only with `replace`), so that the
// destination never holds a part of the file.
bool CopyBeside(const std::string& from, const std::string& to, bool replace,
                TCopyCheck* check = nullptr) {
  auto source = TFile::Open(from, TFile::Mode::Read);
  if (!source) return false;
  std::string temp;
  auto target = TFile::CreateTemporary(ParentOf(to), "KAV", temp);
  if (!target) return false;
  try {
    std::vector<char> block(65536);
    while (const std::size_t n = source->Read(block.data(), block.size())) {
      target->Write(block.data(), n);
      if (check != nullptr) check->Add(block.data(), n);
    }
    target->Sync();
    target->Close();
  } catch (const EInOutError&) {
    target.reset();
    ::DeleteFileW(Wide(temp).c_str());
    return false;
  }
  if (check != nullptr && !check->Accept()) {
    ::DeleteFileW(Wide(temp).c_str());
    return false;
  }
  const bool placed =
      replace ? RenameOver(temp, to)
              : ::MoveFileExW(Wide(temp).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
  if (!placed) ::DeleteFileW(Wide(temp).c_str());
  return placed;
}

bool CopyAcrossVolumes(const std::string& from, const std::string& to, bool replace) {
  if (!CopyBeside(from, to, replace)) return false;
  ::DeleteFileW(Wide(from).c_str());
  return true;
}

}  // namespace

bool MoveFileTo(std::string_view from, std::string_view to) {
  const std::string source = ToNativePath(from);
  const std::string target = ToNativePath(to);
  if (::GetFileAttributesW(Wide(target).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
  if (::MoveFileExW(Wide(source).c_str(), Wide(target).c_str(), MOVEFILE_WRITE_THROUGH))
    return true;
  return ::GetLastError() == ERROR_NOT_SAME_DEVICE && CopyAcrossVolumes(source, target, false);
}

bool ReplaceFileWith(std::string_view from, std::string_view to) {
  const std::string source = ToNativePath(from);
  const std::string target = ToNativePath(to);
  if (RenameOver(source, target)) return true;
  return ::GetLastError() == ERROR_NOT_SAME_DEVICE && CopyAcrossVolumes(source, target, true);
}

bool CopyFileOver(std::string_view from, std::string_view to, TCopyCheck* check) {
  const std::string source = ToNativePath(from);
  if (!FileExists(source)) return false;
  return CopyBeside(source, ToNativePath(to), true, check);
}

bool LinkFile(std::string_view existing, std::string_view link) {
  return ::CreateHardLinkW(Wide(ToNativePath(link)).c_str(), Wide(ToNativePath(existing)).c_str(),
                           nullptr) != FALSE;
}

namespace {

SYSTEMTIME ToSystemTime(const TDateParts& parts) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(parts.Year);
  time.wMonth = static_cast<WORD>(parts.Month);
  time.wDay = static_cast<WORD>(parts.Day);
  time.wHour = static_cast<WORD>(parts.Hour);
  time.wMinute = static_cast<WORD>(parts.Minute);
  time.wSecond = static_cast<WORD>(parts.Second);
  time.wMilliseconds = static_cast<WORD>(parts.Millisecond);
  return time;
}

}  // namespace

bool SetLastWriteTime(std::string_view path, TDateTime localTime) {
  // The zone's own rule for that day, daylight saving time or not, as the
  // time is read back.
  const SYSTEMTIME local = ToSystemTime(DecodeDateTime(localTime));
  SYSTEMTIME universal{};
  FILETIME written{};
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) ||
      !::SystemTimeToFileTime(&universal, &written))
    return false;
  const HANDLE h = OpenForFacts(WidePath(path), FILE_WRITE_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool set = ::SetFileTime(h, nullptr, nullptr, &written) != 0;
  ::CloseHandle(h);
  return set;
}

// A Windows file is run by its name; there is no mark to set.
bool MakePrivate(std::string_view) { return true; }

bool OwnedByThisUser(std::string_view path) { return FileExists(path); }

std::optional<std::string> RegularFileDestination(std::string_view path) {
  const std::string native = ToNativePath(path);
  const DWORD attributes = ::GetFileAttributesW(Wide(native).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return native;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
  return native;
}

std::optional<TDiskSpace> DiskSpace(std::string_view folder) {
  ULARGE_INTEGER available{}, total{};
  const std::wstring native = Wide(ToNativePath(folder.empty() ? std::string_view(".") : folder));
  if (!::GetDiskFreeSpaceExW(native.c_str(), &available, &total, nullptr)) return std::nullopt;
  return TDiskSpace{available.QuadPart, total.QuadPart};
}

bool MakeExecutable(std::string_view path) {
  return ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Windows files carry attributes, not permission bits.
std::uint32_t PermissionBits(std::string_view) { return 0; }
void SetPermissionBits(std::string_view, std::uint32_t) {}

bool ClearReadOnlyHidden(std::string_view path) {
  const std::wstring wide = WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  if (cleared == attributes) return true;
  if (cleared == 0) cleared = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileAttributesW(wide.c_str(), cleared) != 0;
}

bool CanWrite(std::string_view path) {
  const std::string native = ToNativePath(path);
  const DWORD attributes = ::GetFileAttributesW(Wide(native).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    const HANDLE h = ::CreateFileW(Wide(native).c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      ::CloseHandle(h);
      return true;
    }
    // In use by another program is no lack of permission.
    return ::GetLastError() == ERROR_SHARING_VIOLATION;
  }
  // A missing file: whether a file can be made in the nearest folder that
  // exists, tried with one that goes again when it is closed.
  std::string parent = ParentOf(native);
  while (!DirectoryExists(parent)) {
    const std::string up = ParentOf(parent);
    if (up == parent) return false;
    parent = up;
  }
  const auto probe = MakeTemporaryName(
      parent, "KAV",
      [](const std::string& candidate) {
        const HANDLE h =
            ::CreateFileW(Wide(candidate).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) return LastError();
        ::CloseHandle(h);
        return 0;
      },
      nullptr);
  return probe.has_value();
}

std::optional<TDateTime> LastWriteTime(std::string_view path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  SYSTEMTIME universal{}, local{};
  if (!::FileTimeToSystemTime(&data.ftLastWriteTime, &universal) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
    return std::nullopt;
  TDateParts parts;
  parts.Year = local.wYear;
  parts.Month = local.wMonth;
  parts.Day = local.wDay;
  parts.Hour = local.wHour;
  parts.Minute = local.wMinute;
  parts.Second = local.wSecond;
  parts.Millisecond = local.wMilliseconds;
  return EncodeDateTime(parts);
}

bool SetCurrentDir(std::string_view path) {
  return ::SetCurrentDirectoryW(WidePath(path).c_str()) != 0;
}

std::string GetCurrentDir() {
  std::vector<wchar_t> buffer(MAX_PATH);
  while (true) {
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) return ".";
    if (n < buffer.size()) return Utf8(std::wstring_view(buffer.data(), n));
    buffer.resize(n + 1);
  }
}

}  // namespace kavrel::platform
