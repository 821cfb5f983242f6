#include <zstd.h>

#include <memory>

#include "Errors.h"
#include "MappedFile.h"
#include "Patch.h"
#include "PatchHeader.h"
#include "PatchSupport.h"

namespace kavrel::delta {

TPatchOutcome ApplyPatch(const std::string& patchFile, const std::string& target,
                         const TPatchProgress& progress) {
  const auto report = [&progress](std::string_view step) {
    if (progress) progress(step);
  };
  int error = 0;
  auto patchMap = platform::TMappedFile::Read(patchFile, &error);
  if (!patchMap)
    return Failure(TPatchResult::CannotRead,
                   "Cannot read the patch " + patchFile + ": " + SystemText(error));
  const auto patch = patchMap->Bytes();
  const auto header = ReadPatchHeader(patch);
  if (!header)
    return Failure(TPatchResult::BadPatch, patchFile + " is not a patch of a known format");

  // The file as it is must be the one the patch was made from; a missing file
  // is an empty one only for a patch made from nothing.
  report("checking " + target);
  static const auto kEmptyDigest = DigestOf({});
  std::optional<platform::TMappedFile> oldMap;
  const bool creates =
      !platform::FileExists(target) && header->OldSize == 0 && header->OldSha256 == kEmptyDigest;
  if (!creates) {
    oldMap = platform::TMappedFile::Read(target, &error);
    if (!oldMap)
      return Failure(TPatchResult::WrongOldFile,
                     "Cannot read " + target + ": " + SystemText(error));
    if (oldMap->Bytes().size() != header->OldSize || DigestOf(oldMap->Bytes()) != header->OldSha256)
      return Failure(TPatchResult::WrongOldFile,
                     target + " is not the file the patch " + patchFile + " was made from");
  }
  const auto frame = patch.subspan(kPatchHeaderSize);
  // One frame and nothing after it, of the recorded size.
  if (ZSTD_findFrameCompressedSize(frame.data(), frame.size()) != frame.size() ||
      ZSTD_getFrameContentSize(frame.data(), frame.size()) != header->NewSize)
    return Failure(TPatchResult::BadPatch, patchFile + " is damaged or incomplete");

  TResultFile out(target);
  if (!out.Create(&error)) return WriteFailure("Cannot create a file beside", target, error);
  auto result = platform::TMappedFile::Write(out.File(), header->NewSize, &error);
  if (!result) return WriteFailure("Cannot write", out.Path(), error);
  report("writing the new version beside " + target);
  {
    std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
    if (!context) return Failure(TPatchResult::CannotWrite, "Out of memory");
    ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, kWindowLogMax);
    if (oldMap && !oldMap->Bytes().empty())
      ZSTD_DCtx_refPrefix(context.get(), oldMap->Bytes().data(), oldMap->Bytes().size());
    // The whole result is in view, so the frame decodes straight into it
    // without a window buffer of the decoder's own.
    const auto written = result->WritableBytes();
    const std::size_t size = ZSTD_decompressDCtx(context.get(), written.data(), written.size(),
                                                 frame.data(), frame.size());
    if (const auto failed = ZstdError(size))
      return Failure(TPatchResult::BadPatch, patchFile + " is damaged: " + *failed);
    if (size != header->NewSize)
      return Failure(TPatchResult::BadPatch, patchFile + " is damaged: the result is short");
  }
  if (DigestOf(result->Bytes()) != header->NewSha256)
    return Failure(TPatchResult::BadPatch,
                   patchFile + " makes a file other than the one it records; nothing replaced");
  try {
    if (!result->Flush()) throw platform::EInOutError("flush", platform::GetLastError());
    result->Close();
    out.File().Sync();
  } catch (const platform::EInOutError& e) {
    return WriteFailure("Cannot write", out.Path(), e.ErrorCode);
  }
  // The old file is let go before its place is taken (Windows keeps a mapped
  // file from being replaced).
  oldMap.reset();
  platform::ShareLike(out.Path(), target);
  if (creates && header->Mode != 0) platform::SetPermissionBits(out.Path(), header->Mode);
  report("replacing " + target);
  if (!out.Keep()) return WriteFailure("Cannot replace", target, platform::GetLastError());
  return {TPatchResult::Applied, "Patched " + target};
}

}  // namespace kavrel::delta
