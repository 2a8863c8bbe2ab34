#include "lib/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

// Reads up to `size` bytes of descriptor `fd`, as ByteSource::read does.
long read_descriptor(int fd, char* out, std::size_t size, int& error_number) {
  constexpr std::size_t kLargestRead = std::size_t{1} << 30;
  size = std::min(size, kLargestRead);
  for (;;) {
#ifdef _WIN32
    const long got = _read(fd, out, static_cast<unsigned>(size));
#else
    const long got = ::read(fd, out, size);
#endif
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    error_number = errno;
    return -1;
  }
}

class FileSource final : public ByteSource {
 public:
  explicit FileSource(int fd) : fd_(fd) {}
  ~FileSource() override {
#ifdef _WIN32
    _close(fd_);
#else
    ::close(fd_);
#endif
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  long read(char* out, std::size_t size, int& error_number) override {
    return read_descriptor(fd_, out, size, error_number);
  }

  int seek(std::uint64_t offset) override {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return EINVAL;
#ifdef _WIN32
    return _lseeki64(fd_, static_cast<__int64>(offset), SEEK_SET) >= 0 ? 0 : errno;
#else
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0 ? 0 : errno;
#endif
  }

 private:
  int fd_;
};

// Standard input, never rewound: it may be a pipe, and where it is a file,
// what the user handed on may begin past the file's first byte.
class StandardInput final : public ByteSource {
 public:
  StandardInput() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
  }
  long read(char* out, std::size_t size, int& error_number) override {
    return read_descriptor(0, out, size, error_number);
  }
  int seek(std::uint64_t) override { return ESPIPE; }
};

}  // namespace

long MemorySource::read(char* out, std::size_t size, int&) {
  const std::size_t count = std::min(size, bytes_.size() - at_);
  std::memcpy(out, bytes_.data() + at_, count);
  at_ += count;
  return static_cast<long>(count);
}

OpenedSource open_file_source(const char* path) {
#ifdef _WIN32
  const int fd = _open(path, _O_RDONLY | _O_BINARY);
#else
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    // A directory opens, but reads fail; say so at once.
    struct stat status;
    if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
      ::close(fd);
      return {nullptr, EISDIR};
    }
  }
#endif
  if (fd < 0) return {nullptr, errno};
  return {std::make_unique<FileSource>(fd), 0};
}

std::unique_ptr<ByteSource> open_standard_input() { return std::make_unique<StandardInput>(); }

}  // namespace vantrel
