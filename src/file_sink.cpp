#include "file_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

#ifdef _WIN32
int open_for_writing(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
               _S_IREAD | _S_IWRITE);
}
long write_some(int fd, const char* data, std::size_t size) {
  constexpr std::size_t kLargestWrite = 1u << 30;
  return _write(fd, data,
                static_cast<unsigned>(size < kLargestWrite ? size
                                                           : kLargestWrite));
}
int close_file(int fd) { return _close(fd); }
#else
int open_for_writing(const char* path) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  // With standard input, output or error closed, the file would take over
  // their number and console text would land in it: move it above them.
  if (fd >= 0 && fd <= 2) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int error_number = errno;
    ::close(fd);
    errno = error_number;
    fd = moved;
  }
  return fd;
}
long write_some(int fd, const char* data, std::size_t size) {
  return ::write(fd, data, size);
}
int close_file(int fd) { return ::close(fd); }
#endif

// Reserves disk space for a file that grows by large writes, ahead of them:
// writing into space already allocated costs the system markedly less than
// having it allocate page by page. Purely an advice: where the system cannot
// (no space, a file-size limit, not a regular file), the writes go on as
// they would have and fail, if they must, by themselves. What is reserved
// past the end of the file is given back when it is closed.
class SpaceReserver {
 public:
  void before_write(int fd, std::uint64_t end) {
#ifdef __linux__
    if (!usable_ || end <= reserved_) return;
    const std::uint64_t ahead = std::clamp<std::uint64_t>(reserved_, kSmallest, kLargest);
    const std::uint64_t length = std::max(end - reserved_, ahead);
    if (fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(reserved_),
                  static_cast<off_t>(length)) != 0) {
      usable_ = false;
      return;
    }
    reserved_ += length;
#else
    (void)fd;
    (void)end;
#endif
  }

  void before_close(int fd, std::uint64_t end) {
#ifdef __linux__
    if (reserved_ > end) {
      // Nothing to report if this fails: the file's bytes are all there.
      (void)ftruncate(fd, static_cast<off_t>(end));
    }
#else
    (void)fd;
    (void)end;
#endif
  }

 private:
  static constexpr std::uint64_t kSmallest = std::uint64_t{1} << 20;
  static constexpr std::uint64_t kLargest = std::uint64_t{64} << 20;
  std::uint64_t reserved_ = 0;  // from offset 0, by fallocate
  bool usable_ = true;
};

// An open file; writes go straight to the system.
class FileSink final : public ByteSink {
 public:
  FileSink() = default;
  ~FileSink() override { close(); }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  // 0, or the system's error number.
  int open(const char* path) {
    fd_ = open_for_writing(path);
    return fd_ < 0 ? errno : 0;
  }

  int write(const char* data, std::size_t size) override {
    space_.before_write(fd_, written_ + size);
    while (size > 0) {
      long written = write_some(fd_, data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (written == 0) return EIO;
      data += written;
      size -= static_cast<std::size_t>(written);
      written_ += static_cast<std::uint64_t>(written);
    }
    return 0;
  }

  int close() override {
    if (fd_ < 0) return 0;
    space_.before_close(fd_, written_);
    int result = close_file(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
  std::uint64_t written_ = 0;
  SpaceReserver space_;
};

}  // namespace

OpenedFile open_file_sink(const char* path) {
  auto file = std::make_unique<FileSink>();
  if (const int error_number = file->open(path); error_number != 0) {
    return {nullptr, error_number};
  }
  return {std::move(file), 0};
}

}  // namespace vantrel
