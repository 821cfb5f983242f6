// A whole file seen as memory, for work on files too large to read at once:
// the system pages the bytes in and out, so a mapped file costs no memory of
// the process's own.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "Files.h"

namespace kavrel::platform {

class TMappedFile {
 public:
  // Maps an existing regular file to read; others may read it meanwhile but
  // not change it, where the system can keep them from it. An empty file maps
  // to no bytes. Nothing when it cannot be opened or mapped.
  static std::optional<TMappedFile> Read(std::string_view path, int* error = nullptr);
  // Sets a file open for reading and writing (a new temporary file) to `size`
  // bytes, its blocks taken on the disk now, and maps it to write: a full disk
  // is reported here, never later while the bytes are written.
  static std::optional<TMappedFile> Write(TFile& file, std::uint64_t size, int* error = nullptr);

  TMappedFile(TMappedFile&& other) noexcept;
  TMappedFile& operator=(TMappedFile&& other) noexcept;
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;
  ~TMappedFile();

  std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }
  std::span<std::uint8_t> WritableBytes() { return {data_, size_}; }
  // Writes the changed bytes to the device and waits for them.
  bool Flush();
  // Gives up the view (and the file, when it was opened here).
  void Close();

 private:
  TMappedFile(std::uint8_t* data, std::uint64_t size, std::intptr_t file, std::intptr_t mapping)
      : data_(data), size_(static_cast<std::size_t>(size)), file_(file), mapping_(mapping) {}
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::intptr_t file_ = -1;     // opened here and closed with the view; -1 when borrowed
  std::intptr_t mapping_ = -1;  // Windows' mapping object
};

}  // namespace kavrel::platform
