#include "lib/table/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace vantrel {
namespace {

// Reads up to `size` bytes of descriptor `fd`, as ByteSource::read does.
long read_descriptor(int fd, char* out, std::size_t size, int& error_number) {
  constexpr std::size_t kLargestRead = std::size_t{1} << 30;
  size = std::min(size, kLargestRead);
  for (;;) {
    const long got = ::read(fd, out, size);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    error_number = errno;
    return -1;
  }
}

class FileSource final : public ByteSource {
 public:
  explicit FileSource(int fd) : fd_(fd) {}
  ~FileSource() override { ::close(fd_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  long read(char* out, std::size_t size, int& error_number) override {
    return read_descriptor(fd_, out, size, error_number);
  }

  int seek(std::uint64_t offset) override {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return EINVAL;
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// Standard input, never rewound: it may be a pipe, and where it is a file,
// what the user handed on may begin past the file's first byte.
class StandardInput final : public ByteSource {
 public:
  long read(char* out, std::size_t size, int& error_number) override {
    return read_descriptor(0, out, size, error_number);
  }
  int seek(std::uint64_t) override { return ESPIPE; }
};

}  // namespace

OpenedSource open_file_source(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {nullptr, errno};
  // A directory opens, but reads fail; say so at once.
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    ::close(fd);
    return {nullptr, EISDIR};
  }
  return {std::make_unique<FileSource>(fd), 0};
}

std::unique_ptr<ByteSource> open_standard_input() { return std::make_unique<StandardInput>(); }

}  // namespace vantrel
