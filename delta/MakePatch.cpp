#include <zstd.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "Errors.h"
#include "MappedFile.h"
#include "Patch.h"
#include "PatchHeader.h"
#include "PatchSupport.h"

namespace kavrel::delta {

namespace {

// The window a frame needs so that the whole old file stays within reach of
// the new one: the next power of two above the larger of them.
int WindowLogFor(std::uint64_t oldSize, std::uint64_t newSize) {
  const std::uint64_t larger = std::max<std::uint64_t>({oldSize, newSize, 1});
  int log = 10;
  while (log < kWindowLogMax && (std::uint64_t{1} << log) < larger) ++log;
  return log;
}

}  // namespace

TPatchOutcome MakePatch(const std::string& oldFile, const std::string& newFile,
                        const std::string& patchFile, const TDiffOptions& options,
                        const TPatchProgress& progress) {
  const auto report = [&progress](std::string_view step) {
    if (progress) progress(step);
  };
  int error = 0;
  auto oldMap = platform::TMappedFile::Read(oldFile, &error);
  if (!oldMap)
    return Failure(TPatchResult::CannotRead, "Cannot read " + oldFile + ": " + SystemText(error));
  auto newMap = platform::TMappedFile::Read(newFile, &error);
  if (!newMap)
    return Failure(TPatchResult::CannotRead, "Cannot read " + newFile + ": " + SystemText(error));

  report("hashing " + oldFile + " and " + newFile);
  TPatchHeader header;
  header.Mode = platform::PermissionBits(newFile);
  header.OldSize = oldMap->Bytes().size();
  header.OldSha256 = DigestOf(oldMap->Bytes());
  header.NewSize = newMap->Bytes().size();
  header.NewSha256 = DigestOf(newMap->Bytes());

  std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
  if (!context) return Failure(TPatchResult::CannotWrite, "Out of memory");
  const unsigned threads =
      options.Threads != 0 ? options.Threads : std::max(1U, std::thread::hardware_concurrency());
  ZSTD_CCtx* cctx = context.get();
  // Always in workers, one at least: zstd's output is the same for any number
  // of workers but not without one, so that a release gives the same patch
  // on every machine.
  for (const auto& [parameter, value] : std::initializer_list<std::pair<ZSTD_cParameter, int>>{
           {ZSTD_c_compressionLevel, options.Level},
           {ZSTD_c_windowLog, WindowLogFor(header.OldSize, header.NewSize)},
           {ZSTD_c_enableLongDistanceMatching, 1},
           // What the new version shares with the old one the long-distance
           // matcher finds; a narrow search of the regular one costs about 1%
           // of the patch's size and saves half the time.
           {ZSTD_c_searchLog, 1},
           {ZSTD_c_checksumFlag, 1},
           {ZSTD_c_nbWorkers, static_cast<int>(threads)}}) {
    // A library built without threads refuses workers: then it works alone.
    if (const auto failed = ZstdError(ZSTD_CCtx_setParameter(cctx, parameter, value));
        failed && parameter != ZSTD_c_nbWorkers)
      return Failure(TPatchResult::CannotWrite, "Cannot set up the compressor: " + *failed);
  }
  ZSTD_CCtx_setPledgedSrcSize(cctx, header.NewSize);
  if (const auto failed =
          ZstdError(ZSTD_CCtx_refPrefix(cctx, oldMap->Bytes().data(), oldMap->Bytes().size())))
    return Failure(TPatchResult::CannotWrite, "Cannot set up the compressor: " + *failed);

  TResultFile out(patchFile);
  if (!out.Create(&error)) return WriteFailure("Cannot create a file beside", patchFile, error);
  try {
    out.File().Write(WritePatchHeader(header));
    report("compressing the differences");
    std::string buffer(ZSTD_CStreamOutSize(), '\0');
    const auto bytes = newMap->Bytes();
    // Fed in slices, so that progress shows and the output is written as it comes.
    constexpr std::size_t kSlice = 16 << 20;
    std::size_t fed = 0;
    for (;;) {
      const std::size_t slice = std::min(kSlice, bytes.size() - fed);
      const bool last = fed + slice == bytes.size();
      ZSTD_inBuffer input{bytes.data() + fed, slice, 0};
      std::size_t remaining = 0;
      do {
        ZSTD_outBuffer output{buffer.data(), buffer.size(), 0};
        remaining =
            ZSTD_compressStream2(cctx, &output, &input, last ? ZSTD_e_end : ZSTD_e_continue);
        if (const auto failed = ZstdError(remaining))
          return Failure(TPatchResult::CannotWrite, "Cannot compress: " + *failed);
        out.File().Write(buffer.data(), output.pos);
      } while (last ? remaining != 0 : input.pos < input.size);
      const std::size_t before = fed * 10 / bytes.size();
      fed += slice;
      if (last) break;
      // Every tenth of the way.
      if (fed * 10 / bytes.size() != before)
        report("compressed " + std::to_string(fed * 10 / bytes.size() * 10) + "%");
    }
    out.File().Sync();
  } catch (const platform::EInOutError& e) {
    return WriteFailure("Cannot write", out.Path(), e.ErrorCode);
  }
  platform::ShareLike(out.Path(), patchFile);
  if (!out.Keep())
    return WriteFailure("Cannot put the patch in place as", patchFile, platform::GetLastError());
  return {TPatchResult::Applied, "Patch written: " + patchFile};
}

}  // namespace kavrel::delta
