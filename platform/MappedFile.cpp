#include "MappedFile.h"

#include <utility>

namespace kavrel::platform {

TMappedFile::TMappedFile(TMappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      file_(std::exchange(other.file_, -1)),
      mapping_(std::exchange(other.mapping_, -1)) {}

TMappedFile& TMappedFile::operator=(TMappedFile&& other) noexcept {
  if (this != &other) {
    Close();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    file_ = std::exchange(other.file_, -1);
    mapping_ = std::exchange(other.mapping_, -1);
  }
  return *this;
}

TMappedFile::~TMappedFile() { Close(); }

}  // namespace kavrel::platform
