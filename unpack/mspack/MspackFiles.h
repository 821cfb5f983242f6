// The file access libmspack is given: its files are the platform's files, so
// that the decompressors never call the operating system themselves, and it
// may write only to files prepared for it beforehand. One object serves one
// extraction; nothing outlives it.
#pragma once

#include <mspack.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "Files.h"

namespace kavrel {

class TMspackFiles {
 public:
  TMspackFiles();
  TMspackFiles(const TMspackFiles&) = delete;
  TMspackFiles& operator=(const TMspackFiles&) = delete;

  mspack_system* System() { return &system_.base; }

  // Hands an open, empty file to the next opening of `path` for writing.
  // libmspack cannot create any other file.
  void Prepare(const std::string& path, platform::TFile file);
  // How many bytes reached the prepared file `path` once libmspack closed it,
  // every write and the closing having succeeded; nothing otherwise.
  std::optional<std::uint64_t> WrittenLength(const std::string& path) const;

  // The callbacks' side: opens a file for libmspack; records how writing a
  // prepared file ended.
  mspack_file* OpenFile(const char* filename, int mode);
  void RecordClosed(const std::string& path, std::optional<std::uint64_t> length);
  static TMspackFiles* OwnerOf(mspack_system* system) {
    return reinterpret_cast<TSystem*>(system)->owner;
  }

 private:
  struct TSystem {
    mspack_system base;  // first, so that libmspack's pointer is the whole
    TMspackFiles* owner;
  };
  TSystem system_;
  std::map<std::string, platform::TFile> prepared_;
  std::map<std::string, std::optional<std::uint64_t>> written_;
};

// What a libmspack decompressor opened from a file (a cabinet, an SZDD
// header), closed through the same decompressor before it goes.
template <class TDecompressor, class THandle>
class TMspackOpened {
 public:
  TMspackOpened(TDecompressor* d, const std::string& path) : d_(d), h_(d->open(d, path.c_str())) {}
  ~TMspackOpened() {
    if (h_ != nullptr) d_->close(d_, h_);
  }
  TMspackOpened(const TMspackOpened&) = delete;
  TMspackOpened& operator=(const TMspackOpened&) = delete;
  THandle* operator->() const { return h_; }
  THandle* get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  TDecompressor* d_;
  THandle* h_;
};

}  // namespace kavrel
