#include "MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "PathNames.h"

namespace kavrel::platform {

namespace {

std::optional<TMappedFile> Failed(int* error, int code) {
  if (error != nullptr) *error = code;
  return std::nullopt;
}

}  // namespace

std::optional<TMappedFile> TMappedFile::Read(std::string_view path, int* error) {
  const int fd = ::open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failed(error, errno);
  struct stat st {};
  const int status = ::fstat(fd, &st) == 0 ? (S_ISREG(st.st_mode) ? 0 : EISDIR) : errno;
  if (status != 0) {
    ::close(fd);
    return Failed(error, status);
  }
  void* data = nullptr;
  if (st.st_size > 0) {
    data = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
      const int code = errno;
      ::close(fd);
      return Failed(error, code);
    }
    ::madvise(data, static_cast<std::size_t>(st.st_size), MADV_SEQUENTIAL);
  }
  return TMappedFile(static_cast<std::uint8_t*>(data), static_cast<std::uint64_t>(st.st_size), fd,
                     -1);
}

std::optional<TMappedFile> TMappedFile::Write(TFile& file, std::uint64_t size, int* error) {
  const int fd = static_cast<int>(file.handle_);
  if (size == 0) return TMappedFile(nullptr, 0, -1, -1);
  if (const int code = ::posix_fallocate(fd, 0, static_cast<off_t>(size)); code != 0)
    return Failed(error, code);
  void* data =
      ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) return Failed(error, errno);
  return TMappedFile(static_cast<std::uint8_t*>(data), size, -1, -1);
}

bool TMappedFile::Flush() { return data_ == nullptr || ::msync(data_, size_, MS_SYNC) == 0; }

void TMappedFile::Close() {
  if (data_ != nullptr) ::munmap(data_, size_);
  if (file_ >= 0) ::close(static_cast<int>(file_));
  data_ = nullptr;
  size_ = 0;
  file_ = -1;
}

}  // namespace kavrel::platform
