#include "cabfdi.h"

#include <memory>
#include <optional>

#include "Files.h"
#include "MspackFiles.h"
#include "PathNames.h"
#include "UnpackTarget.h"

namespace kavrel {

namespace {

using TOpenCabinet = TMspackOpened<mscab_decompressor, mscabd_cabinet>;

// The stored MS-DOS date and time, when they make a valid date and time.
std::optional<TDateTime> StoredTime(const mscabd_file& f) {
  const auto date = TryEncodeDate(f.date_y, f.date_m, f.date_d);
  if (!date || f.time_h < 0 || f.time_h > 23 || f.time_m < 0 || f.time_m > 59 || f.time_s < 0 ||
      f.time_s > 59)
    return std::nullopt;
  TDateParts parts = DecodeDateTime(*date);
  parts.Hour = f.time_h;
  parts.Minute = f.time_m;
  parts.Second = f.time_s;
  return EncodeDateTime(parts);
}

struct TEntry {
  mscabd_file* File;
  std::string Target;
};

}  // namespace

int ExtractCabinet(const std::string& CabFile, const std::string& DestDir,
                   std::vector<std::string>* written, const TPlaceFile& place) {
  if (!platform::FileExists(CabFile)) return -1;
  TMspackFiles files;
  const std::unique_ptr<mscab_decompressor, decltype(&mspack_destroy_cab_decompressor)> d(
      mspack_create_cab_decompressor(files.System()), &mspack_destroy_cab_decompressor);
  if (!d) return -1;
  d->set_param(d.get(), MSCABD_PARAM_DECOMPBUF, 65536);
  const TOpenCabinet cab(d.get(), CabFile);
  if (!cab) return -1;
  // A cabinet of a set needs its neighbours, which the callers never supply.
  if ((cab->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)) != 0) return -1;

  // Every name is checked before the first file is written.
  std::vector<TEntry> entries;
  for (mscabd_file* f = cab->files; f != nullptr; f = f->next) {
    const std::string name = SafeStoredName(f->filename, (f->attribs & MSCAB_ATTRIB_UTF_NAME) != 0);
    if (name.empty()) return -1;
    entries.push_back({f, DestDir + name});
  }

  for (const TEntry& entry : entries) {
    const std::string folder(platform::FolderPart(entry.Target));
    if (!folder.empty() && !platform::DirectoryExists(folder) &&
        !platform::ForceDirectories(folder))
      return -1;
    TUnpackTarget target;
    if (!target.Prepare(files, entry.Target)) return -1;
    if (d->extract(d.get(), entry.File, target.TempPath().c_str()) != MSPACK_ERR_OK) return -1;
    if (!target.Commit(files, entry.File->length, StoredTime(*entry.File), place)) return -1;
    if (written != nullptr) written->push_back(entry.Target);
  }
  return 0;
}

}  // namespace kavrel
