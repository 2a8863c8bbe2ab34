#include "table_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
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

// A file opened by the stream; writes go straight to the system.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(int fd) : fd_(fd) {}
  ~FileSink() override { close(); }

  int write(const char* data, std::size_t size) override {
    while (size > 0) {
      long written = write_some(fd_, data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (written == 0) return EIO;
      data += written;
      size -= static_cast<std::size_t>(written);
    }
    return 0;
  }

  int close() override {
    if (fd_ < 0) return 0;
    int result = close_file(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

}  // namespace

TableStream::TableStream(FailureReporter reporter)
    : reporter_(std::move(reporter)),
      buffer_(std::make_unique<char[]>(kBufferSize)) {}

TableStream::~TableStream() { close(); }

void TableStream::open(const char* path) {
  close();
  int fd = open_for_writing(path);
  if (fd < 0) {
    fail("open", errno);
    return;
  }
  attach(std::make_unique<FileSink>(fd));
}

void TableStream::attach(std::unique_ptr<ByteSink> sink) {
  close();
  sink_ = std::move(sink);
  used_ = 0;
  failed_ = false;
  accepting_ = true;
}

void TableStream::write_text(std::string_view text) {
  while (!text.empty()) {
    std::size_t line_end = text.find('\n');
    std::string_view piece = text.substr(0, line_end);
    // Pieces larger than the buffer go out in buffer-sized parts.
    while (!piece.empty()) {
      std::size_t size = piece.size() < kBufferSize ? piece.size() : kBufferSize;
      char* out = reserve(size);
      if (out == nullptr) return;
      std::memcpy(out, piece.data(), size);
      commit(out + size);
      piece.remove_prefix(size);
    }
    if (line_end == std::string_view::npos) return;
    char* out = reserve(2);
    if (out == nullptr) return;
    out[0] = '\r';
    out[1] = '\n';
    commit(out + 2);
    text.remove_prefix(line_end + 1);
  }
}

void TableStream::write_integer(std::int64_t value) {
  constexpr std::size_t kLongest = std::numeric_limits<std::int64_t>::digits10 + 2;
  char* out = reserve(kLongest);
  if (out == nullptr) return;
  commit(std::to_chars(out, out + kLongest, value).ptr);
}

void TableStream::close() {
  if (!sink_) return;
  if (accepting_) flush();
  int error_number = sink_->close();
  if (error_number != 0 && !failed_) fail("close", error_number);
  sink_.reset();
  accepting_ = false;
  used_ = 0;
}

void TableStream::flush() {
  if (used_ == 0) return;
  int error_number = sink_->write(buffer_.get(), used_);
  used_ = 0;
  if (error_number != 0) fail("write", error_number);
}

void TableStream::fail(std::string_view operation, int error_number) {
  failed_ = true;
  accepting_ = false;
  used_ = 0;
  if (reporter_) reporter_(operation, error_number);
}

void write_header_block(TableStream& stream, std::int32_t table_count) {
  stream.write_text("[TABLEINFO]");
  stream.write_text("\n{");
  stream.write_text("\nnumtables=");
  stream.write_integer(table_count);
  stream.write_text(";");
  stream.write_text("\n}");
}

void write_table_opening(TableStream& stream, std::int32_t radius) {
  stream.write_text("\n\n[Table");
  stream.write_integer(radius);
  stream.write_text("]");
  stream.write_text("\n{");
}

void write_line_count(TableStream& stream, std::int32_t line_count) {
  stream.write_text("\n\tnumlines=");
  stream.write_integer(line_count);
  stream.write_text(";");
}

void write_line_entry(TableStream& stream, std::int32_t number,
                      std::span<const WalkPoint> walk) {
  stream.write_text("\n\tline");
  stream.write_integer(number);
  stream.write_text("=");
  stream.write_integer(static_cast<std::int64_t>(walk.size()));
  for (const WalkPoint& point : walk) {
    stream.write_text(",");
    stream.write_integer(point.x);
    stream.write_text(",");
    stream.write_integer(point.y);
  }
  stream.write_text(";");
}

void write_table_closing(TableStream& stream) { stream.write_text("\n}"); }

}  // namespace vantrel
