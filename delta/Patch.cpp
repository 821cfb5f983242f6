#include "Patch.h"

#include <zstd.h>

#include <algorithm>
#include <optional>
#include <thread>

#include "Errors.h"
#include "Files.h"
#include "MappedFile.h"
#include "PatchHeader.h"
#include "PathNames.h"

namespace kavrel::delta {

namespace {

TPatchOutcome Failure(TPatchResult result, std::string detail) {
  return {result, std::move(detail)};
}

std::string SystemText(int error) { return platform::SystemErrorText(error); }

trust::TSha256::TDigest DigestOf(std::span<const std::uint8_t> bytes) {
  trust::TSha256 hash;
  hash.Add(bytes);
  return hash.Digest();
}

std::string FolderOf(const std::string& path) {
  const std::string folder(platform::FolderPart(path));
  return folder.empty() ? "." : folder;
}

// zstd's largest window (its stable interface does not name it).
constexpr int kWindowLogMax = sizeof(std::size_t) == 4 ? 30 : 31;

// The window a frame needs so that the whole old file stays within reach of
// the new one: the next power of two above the larger of them.
int WindowLogFor(std::uint64_t oldSize, std::uint64_t newSize) {
  const std::uint64_t larger = std::max<std::uint64_t>({oldSize, newSize, 1});
  int log = 10;
  while (log < kWindowLogMax && (std::uint64_t{1} << log) < larger) ++log;
  return log;
}

// Runs the zstd call and turns its error code into a sentence.
std::optional<std::string> ZstdError(std::size_t code) {
  if (!ZSTD_isError(code)) return std::nullopt;
  return std::string(ZSTD_getErrorName(code));
}

// A new temporary file beside `path`, deleted unless Keep() takes it over.
class TResultFile {
 public:
  explicit TResultFile(const std::string& path) : target_(path) {}
  ~TResultFile() {
    file_.reset();
    if (!path_.empty()) platform::DeleteFileAt(path_);
  }
  bool Create(int* error) {
    file_ = platform::TFile::CreateTemporary(FolderOf(target_), "KAVP", path_, error);
    return file_.has_value();
  }
  platform::TFile& File() { return *file_; }
  const std::string& Path() const { return path_; }
  // Closes the file and renames it over the target.
  bool Keep() {
    file_->Close();
    file_.reset();
    if (!platform::ReplaceFileWith(path_, target_)) return false;
    path_.clear();
    return true;
  }

 private:
  std::string target_, path_;
  std::optional<platform::TFile> file_;
};

TPatchOutcome WriteFailure(const std::string& what, const std::string& path, int error) {
  return Failure(TPatchResult::CannotWrite,
                 what + " " + path + ": " + (error != 0 ? SystemText(error) : "failed"));
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
  // Workers only where there are several: one worker still costs a thread
  // and its buffers, for nothing.
  for (const auto& [parameter, value] : std::initializer_list<std::pair<ZSTD_cParameter, int>>{
           {ZSTD_c_compressionLevel, options.Level},
           {ZSTD_c_windowLog, WindowLogFor(header.OldSize, header.NewSize)},
           {ZSTD_c_enableLongDistanceMatching, 1},
           {ZSTD_c_checksumFlag, 1},
           {ZSTD_c_nbWorkers, threads > 1 ? static_cast<int>(threads) : 0}}) {
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
      fed += slice;
      if (last) break;
      report("compressed " + std::to_string(fed * 100 / bytes.size()) + "%");
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
