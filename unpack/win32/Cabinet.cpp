// Cabinet extraction on the system's cabinet library (cabinet.dll, loaded for
// each extraction) through its decompression interface, FDI. FDI reads and
// writes only through the callbacks below, which go to the platform's files:
// the cabinet is read by its full Unicode path, and each file FDI writes is a
// temporary file beside its target, put in place once it is whole.
#include <windows.h>
// after windows.h, which it needs
#include <fdi.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

#include "Files.h"
#include "PathNames.h"
#include "UnpackNames.h"
#include "cabfdi.h"

namespace kavrel {

namespace {

using TFdiCreate = decltype(&FDICreate);
using TFdiIsCabinet = decltype(&FDIIsCabinet);
using TFdiCopy = decltype(&FDICopy);
using TFdiDestroy = decltype(&FDIDestroy);

// The name FDI is given for the cabinet; the open callback turns it into the
// cabinet's real path, so that no path passes through an 8-bit code page.
char kCabinetName[] = "cabinet";
char kCabinetFolder[] = "";

// A file open for FDI: the cabinet, read at a position of its own, or an
// extracted file being written.
struct TOpenFile {
  platform::TFile File;
  std::uint64_t Position = 0;
  std::uint64_t Size = 0;
  bool Writing = false;
  bool Failed = false;
};

// One extraction's state. FDI's file callbacks carry no context of their own,
// so they find it through the thread's current extraction.
struct TExtraction {
  std::string CabFile;
  std::string DestDir;
  TPlaceFile Place;
  bool Extract = false;  // false: the pass that only checks the names
  bool NamesRefused = false;
  std::vector<std::string>* Written = nullptr;
  std::map<INT_PTR, TOpenFile> Files;
  INT_PTR NextHandle = 1;
  // The file being extracted.
  INT_PTR Current = 0;
  std::string Target;
  std::string Temp;
  std::uint64_t Length = 0;

  INT_PTR Add(platform::TFile file, bool writing) {
    TOpenFile open{std::move(file)};
    open.Writing = writing;
    const std::int64_t size = open.File.Size();
    open.Size = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    const INT_PTR handle = NextHandle++;
    Files.emplace(handle, std::move(open));
    return handle;
  }
  TOpenFile* Find(INT_PTR handle) {
    const auto it = Files.find(handle);
    return it == Files.end() ? nullptr : &it->second;
  }
  // The file being extracted goes when it did not reach its place.
  void DropCurrent() {
    if (Current != 0) Files.erase(Current);
    Current = 0;
    if (!Temp.empty()) platform::DeleteFileAt(Temp);
    Temp.clear();
  }
};

thread_local TExtraction* tExtraction = nullptr;

FNALLOC(Allocate) { return std::malloc(cb); }
FNFREE(Release) { std::free(pv); }

// Only the cabinet is opened through this callback: FDI never names any other
// file, since the files it writes are opened by the notification below.
FNOPEN(OpenFile) {
  (void)oflag;
  (void)pmode;
  TExtraction* x = tExtraction;
  if (x == nullptr || pszFile == nullptr || std::string_view(pszFile) != kCabinetName) return -1;
  auto file = platform::TFile::Open(x->CabFile, platform::TFile::Mode::Read);
  if (!file) return -1;
  return x->Add(std::move(*file), false);
}

FNREAD(ReadFile) {
  TOpenFile* f = tExtraction != nullptr ? tExtraction->Find(hf) : nullptr;
  if (f == nullptr || f->Writing) return static_cast<UINT>(-1);
  try {
    const std::size_t n = f->File.ReadAt(f->Position, pv, cb);
    f->Position += n;
    return static_cast<UINT>(n);
  } catch (...) {
    return static_cast<UINT>(-1);
  }
}

FNWRITE(WriteFile) {
  TOpenFile* f = tExtraction != nullptr ? tExtraction->Find(hf) : nullptr;
  if (f == nullptr || !f->Writing || f->Failed) return static_cast<UINT>(-1);
  try {
    f->File.Write(pv, cb);
    f->Position += cb;
    return cb;
  } catch (...) {
    f->Failed = true;
    return static_cast<UINT>(-1);
  }
}

FNCLOSE(CloseFile) {
  TExtraction* x = tExtraction;
  if (x == nullptr || x->Find(hf) == nullptr) return -1;
  // The file being extracted is closed by its closing notification, which
  // also knows whether it was written whole.
  if (hf == x->Current) return 0;
  x->Files.erase(hf);
  return 0;
}

FNSEEK(SeekFile) {
  TOpenFile* f = tExtraction != nullptr ? tExtraction->Find(hf) : nullptr;
  if (f == nullptr || f->Writing) return -1;
  std::int64_t base = 0;
  switch (seektype) {
    case SEEK_SET:
      break;
    case SEEK_CUR:
      base = static_cast<std::int64_t>(f->Position);
      break;
    case SEEK_END:
      base = static_cast<std::int64_t>(f->Size);
      break;
    default:
      return -1;
  }
  const std::int64_t target = base + dist;
  if (target < 0 || target > 0x7FFFFFFF) return -1;
  f->Position = static_cast<std::uint64_t>(target);
  return static_cast<__LONG32>(target);
}

// The stored name as UTF-8: marked as such, or in the system's 8-bit code
// page; empty when it is not valid in either.
std::string StoredName(const char* stored, USHORT attributes) {
  if (stored == nullptr) return {};
  if ((attributes & _A_NAME_IS_UTF) != 0) return SafeStoredName(stored, true);
  const int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, stored, -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, stored, -1, wide.data(), n);
  const int m = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (m <= 1) return {};
  std::string utf8(static_cast<std::size_t>(m), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), m, nullptr, nullptr);
  return SafeStoredName(utf8.c_str(), true);
}

// The stored MS-DOS date and time, when they make a valid date and time.
std::optional<TDateTime> StoredTime(USHORT date, USHORT time) {
  const auto day = TryEncodeDate(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F);
  const int hour = time >> 11, minute = (time >> 5) & 0x3F, second = (time & 0x1F) * 2;
  if (!day || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  TDateParts parts = DecodeDateTime(*day);
  parts.Hour = hour;
  parts.Minute = minute;
  parts.Second = second;
  return EncodeDateTime(parts);
}

INT_PTR BeginFile(TExtraction& x, const FDINOTIFICATION& n) {
  const std::string name = StoredName(n.psz1, n.attribs);
  if (!x.Extract) {
    // The checking pass: every name is looked at, nothing is written.
    if (name.empty()) x.NamesRefused = true;
    return 0;
  }
  if (name.empty()) return -1;
  x.Target = platform::ToNativePath(x.DestDir + name);
  const std::string folder(platform::FolderPart(x.Target));
  if (!folder.empty() && !platform::DirectoryExists(folder) && !platform::ForceDirectories(folder))
    return -1;
  auto file = platform::TFile::CreateTemporary(folder, "KAVR", x.Temp);
  if (!file) return -1;
  x.Length = n.cb >= 0 ? static_cast<std::uint64_t>(n.cb) : 0;
  x.Current = x.Add(std::move(*file), true);
  return x.Current;
}

INT_PTR EndFile(TExtraction& x, const FDINOTIFICATION& n) {
  TOpenFile* f = x.Find(n.hf);
  if (f == nullptr || n.hf != x.Current) return FALSE;
  bool whole = !f->Failed && f->Position == x.Length;
  try {
    f->File.Sync();
    f->File.Close();
  } catch (...) {
    whole = false;
  }
  if (!whole) {
    x.DropCurrent();
    return FALSE;
  }
  x.Files.erase(x.Current);
  x.Current = 0;
  // The stored time is local time, as the file's time is shown.
  if (const auto stored = StoredTime(n.date, n.time)) platform::SetLastWriteTime(x.Temp, *stored);
  if (!PlaceFile(x.Place, x.Temp, x.Target)) {
    x.DropCurrent();
    return FALSE;
  }
  x.Temp.clear();
  if (x.Written != nullptr) x.Written->push_back(x.Target);
  return TRUE;
}

FNFDINOTIFY(Notify) {
  TExtraction* x = tExtraction;
  if (x == nullptr || pfdin == nullptr) return -1;
  switch (fdint) {
    case fdintCOPY_FILE:
      return BeginFile(*x, *pfdin);
    case fdintCLOSE_FILE_INFO:
      return EndFile(*x, *pfdin);
    case fdintNEXT_CABINET:
      return -1;  // a cabinet of a set is refused before; never wait for the next one
    default:
      return 0;
  }
}

// cabinet.dll, unloaded when the extraction ends.
class TCabinetLibrary {
 public:
  TCabinetLibrary() : module_(::LoadLibraryW(L"cabinet.dll")) {
    if (module_ == nullptr) return;
    create_ = Entry<TFdiCreate>("FDICreate");
    isCabinet_ = Entry<TFdiIsCabinet>("FDIIsCabinet");
    copy_ = Entry<TFdiCopy>("FDICopy");
    destroy_ = Entry<TFdiDestroy>("FDIDestroy");
  }
  ~TCabinetLibrary() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  TCabinetLibrary(const TCabinetLibrary&) = delete;
  TCabinetLibrary& operator=(const TCabinetLibrary&) = delete;
  bool Usable() const { return create_ && isCabinet_ && copy_ && destroy_; }

  TFdiCreate create_ = nullptr;
  TFdiIsCabinet isCabinet_ = nullptr;
  TFdiCopy copy_ = nullptr;
  TFdiDestroy destroy_ = nullptr;

 private:
  template <class T>
  T Entry(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
  }
  HMODULE module_;
};

// Makes an extraction the thread's current one while it lives.
class TCurrentExtraction {
 public:
  explicit TCurrentExtraction(TExtraction& x) : previous_(tExtraction) { tExtraction = &x; }
  ~TCurrentExtraction() { tExtraction = previous_; }
  TCurrentExtraction(const TCurrentExtraction&) = delete;
  TCurrentExtraction& operator=(const TCurrentExtraction&) = delete;

 private:
  TExtraction* previous_;
};

}  // namespace

int ExtractCabinet(const std::string& CabFile, const std::string& DestDir,
                   std::vector<std::string>* written, const TPlaceFile& place) {
  if (!platform::FileExists(CabFile)) return -1;
  TCabinetLibrary cabinet;
  if (!cabinet.Usable()) return -1;
  TExtraction x;
  x.CabFile = CabFile;
  x.DestDir = DestDir;
  x.Place = place;
  x.Written = written;
  const TCurrentExtraction current(x);
  ERF error{};
  const HFDI fdi = cabinet.create_(Allocate, Release, OpenFile, ReadFile, WriteFile, CloseFile,
                                   SeekFile, cpu80386, &error);
  if (fdi == nullptr) return -1;
  bool ok = false;
  const INT_PTR cab = OpenFile(kCabinetName, 0, 0);
  if (cab != -1) {
    FDICABINETINFO info{};
    const bool isCabinet = cabinet.isCabinet_(fdi, cab, &info) != FALSE;
    // A cabinet of a set needs its neighbours, which the callers never supply.
    // The set flags are read from the header itself: Wine's library does not
    // report that a cabinet has a next one.
    unsigned char header[32] = {};
    const bool read =
        SeekFile(cab, 0, SEEK_SET) == 0 && ReadFile(cab, header, sizeof header) == sizeof header;
    const unsigned flags = header[30] | (header[31] << 8u);  // 1: a previous, 2: a next one
    CloseFile(cab);
    ok = isCabinet && read && (flags & 0x03u) == 0;
  }
  // Every name is checked before the first file is written.
  if (ok)
    ok = cabinet.copy_(fdi, kCabinetName, kCabinetFolder, 0, Notify, nullptr, nullptr) != FALSE &&
         !x.NamesRefused;
  if (ok) {
    x.Extract = true;
    ok = cabinet.copy_(fdi, kCabinetName, kCabinetFolder, 0, Notify, nullptr, nullptr) != FALSE;
  }
  x.DropCurrent();
  if (!cabinet.destroy_(fdi)) ok = false;
  return ok ? 0 : -1;
}

}  // namespace kavrel
