// CompareLocalFile: whether a local file needs the new one, by checksum, by
// size or by version, whichever the control file supplies.
#include <string>

#include "FileMeasures.h"
#include "FileVersion.h"
#include "Files.h"
#include "Kavrel.h"
#include "Version.h"
#include "kvcrc32.h"

namespace kavrel {

namespace {

constexpr int kVersionCheckMessage = 944;
constexpr int kComparisonStatus = 3;

}  // namespace

bool TKavrel::CompareLocalFile(std::string& NewVersion, std::string& LocalFile, int NewSize,
                               int NewChecksum) {
  // -1 is the "no checksum" default of a control file, so it can never be required.
  if (NewVersion.empty() && NewSize == 0 && NewChecksum == -1) return true;
  if (LocalFile.empty() && VersionCheck == vcUpdateOnly) return true;
  if (VersionCheck == vcAlways && !platform::FileExists(LocalFile)) return true;

  if (NewChecksum != -1) {
    const std::int32_t local = UseCRC32 ? FileCRC(LocalFile) : ByteSumChecksum(LocalFile);
    ReportStatus(kVersionCheckMessage,
                 "Checksum compare of " + LocalFile + ":" + std::to_string(local) + ":" +
                     std::to_string(NewChecksum),
                 kComparisonStatus, 0);
    return local != NewChecksum;
  }

  if (NewSize > 0) {
    // An empty or unreadable file (size 0 or -1) is not updated by size unless
    // every file is to be brought in line.
    const std::int32_t size = FileSizeOf(LocalFile);
    return size != NewSize && (size > 0 || VersionCheck == vcAlways);
  }

  const TVersionWords local = GetFileVersion(LocalFile);
  const TVersionWords wanted = ParseVersion(NewVersion);
  ReportStatus(kVersionCheckMessage,
               "Version compare of " + LocalFile + ":" + VersionToText(local) + " with " +
                   NewVersion + ":" + VersionToText(wanted),
               kComparisonStatus, 0);
  if (!wanted.Valid()) return false;
  if (!local.Valid() && VersionCheck == vcUpdateOnly) return false;
  // The callers keep both versions as text from here on.
  LocalFile = VersionToText(local);
  NewVersion = VersionToText(wanted);
  // Signed words: a file without a version (-1) is older than every new
  // version whose major number is below 32768.
  return CompareVersionWords(wanted, local) > 0;
}

}  // namespace kavrel
