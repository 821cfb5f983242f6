#include "MspackFiles.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "Errors.h"

namespace kavrel {

// What a libmspack file handle points to. libmspack is C code: nothing may be
// thrown through it, so every callback catches the platform's errors and
// answers as a failed call.
struct TMspackFile {
  TMspackFiles* owner = nullptr;
  std::string path;
  std::optional<platform::TFile> file;
  bool writing = false;
  std::uint64_t position = 0;
  std::uint64_t size = 0;
  // Reading: a block of the file from blockStart. Writing: bytes not yet written.
  std::vector<char> block;
  std::uint64_t blockStart = 0;
  bool failed = false;

  static constexpr std::size_t kBlock = 256 * 1024;

  bool Flush() {
    if (!writing || block.empty() || failed) return !failed;
    try {
      file->Write(block.data(), block.size());
    } catch (...) {
      failed = true;
    }
    block.clear();
    return !failed;
  }
};

namespace {

TMspackFile* Of(mspack_file* file) { return reinterpret_cast<TMspackFile*>(file); }

mspack_file* Open(mspack_system* self, const char* filename, int mode) {
  TMspackFiles* owner = TMspackFiles::OwnerOf(self);
  try {
    return owner != nullptr ? owner->OpenFile(filename, mode) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

void Close(mspack_file* handle) {
  std::unique_ptr<TMspackFile> file(Of(handle));
  if (file == nullptr) return;
  bool whole = file->Flush();
  try {
    file->file->Close();
    if (file->writing)
      file->owner->RecordClosed(
          file->path, whole ? std::optional<std::uint64_t>(file->position) : std::nullopt);
  } catch (...) {
    // Nothing recorded: the file counts as not written whole.
  }
}

int Read(mspack_file* handle, void* buffer, int bytes) {
  TMspackFile* file = Of(handle);
  if (file == nullptr || file->writing || bytes < 0) return -1;
  auto* out = static_cast<char*>(buffer);
  int done = 0;
  try {
    while (done < bytes) {
      const std::uint64_t end = file->blockStart + file->block.size();
      if (file->position < file->blockStart || file->position >= end) {
        file->block.resize(TMspackFile::kBlock);
        const std::size_t n =
            file->file->ReadAt(file->position, file->block.data(), file->block.size());
        file->block.resize(n);
        file->blockStart = file->position;
        if (n == 0) break;
        continue;
      }
      const std::size_t offset = static_cast<std::size_t>(file->position - file->blockStart);
      const std::size_t take = std::min<std::size_t>(file->block.size() - offset,
                                                     static_cast<std::size_t>(bytes - done));
      std::memcpy(out + done, file->block.data() + offset, take);
      done += static_cast<int>(take);
      file->position += take;
    }
  } catch (...) {
    return -1;
  }
  return done;
}

int Write(mspack_file* handle, void* buffer, int bytes) {
  TMspackFile* file = Of(handle);
  if (file == nullptr || !file->writing || bytes < 0 || file->failed) return -1;
  const auto* in = static_cast<const char*>(buffer);
  if (file->block.size() + static_cast<std::size_t>(bytes) > TMspackFile::kBlock && !file->Flush())
    return -1;
  try {
    file->block.insert(file->block.end(), in, in + bytes);
  } catch (...) {
    file->failed = true;
    return -1;
  }
  file->position += static_cast<std::uint64_t>(bytes);
  return bytes;
}

int Seek(mspack_file* handle, off_t offset, int mode) {
  TMspackFile* file = Of(handle);
  if (file == nullptr || file->writing) return -1;
  std::int64_t base = 0;
  switch (mode) {
    case MSPACK_SYS_SEEK_START:
      break;
    case MSPACK_SYS_SEEK_CUR:
      base = static_cast<std::int64_t>(file->position);
      break;
    case MSPACK_SYS_SEEK_END:
      base = static_cast<std::int64_t>(file->size);
      break;
    default:
      return -1;
  }
  const auto distance = static_cast<std::int64_t>(offset);
  // No position before the start or beyond what 63 bits can hold.
  if (distance < -base || distance > INT64_MAX - base) return -1;
  const std::int64_t target = base + distance;
  file->position = static_cast<std::uint64_t>(target);
  return 0;
}

off_t Tell(mspack_file* handle) {
  TMspackFile* file = Of(handle);
  return file == nullptr ? -1 : static_cast<off_t>(file->position);
}

// libmspack's remarks about damaged input; the failure itself reaches the
// caller as an error code.
void Message(mspack_file*, const char*, ...) {}

void* Alloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void Free(void* block) { std::free(block); }
void Copy(void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); }

}  // namespace

TMspackFiles::TMspackFiles() {
  system_.base =
      mspack_system{Open, Close, Read, Write, Seek, Tell, Message, Alloc, Free, Copy, nullptr};
  system_.owner = this;
}

void TMspackFiles::Prepare(const std::string& path, platform::TFile file) {
  prepared_.insert_or_assign(path, std::move(file));
  written_.erase(path);
}

std::optional<std::uint64_t> TMspackFiles::WrittenLength(const std::string& path) const {
  const auto it = written_.find(path);
  return it == written_.end() ? std::nullopt : it->second;
}

void TMspackFiles::RecordClosed(const std::string& path, std::optional<std::uint64_t> length) {
  written_[path] = length;
}

mspack_file* TMspackFiles::OpenFile(const char* filename, int mode) {
  if (filename == nullptr) return nullptr;
  auto file = std::make_unique<TMspackFile>();
  file->owner = this;
  file->path = filename;
  if (mode == MSPACK_SYS_OPEN_READ) {
    file->file = platform::TFile::Open(file->path, platform::TFile::Mode::Read);
    if (!file->file) return nullptr;
    const std::int64_t size = file->file->Size();
    file->size = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  } else if (mode == MSPACK_SYS_OPEN_WRITE) {
    const auto it = prepared_.find(file->path);
    if (it == prepared_.end()) return nullptr;
    file->file = std::move(it->second);
    prepared_.erase(it);
    file->writing = true;
    file->block.reserve(TMspackFile::kBlock);
  } else {
    return nullptr;
  }
  return reinterpret_cast<mspack_file*>(file.release());
}

}  // namespace kavrel
