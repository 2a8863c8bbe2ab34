#include "table_file.h"

#include <algorithm>
#include <bit>
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

// A file opened by the stream; writes go straight to the system.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(int fd) : fd_(fd) {}
  ~FileSink() override { close(); }

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
  int fd_;
  std::uint64_t written_ = 0;
  SpaceReserver space_;
};

}  // namespace

TableStream::TableStream(FailureReporter reporter, Worker* worker)
    : reporter_(std::move(reporter)),
      worker_(worker),
      buffers_{std::unique_ptr<char[]>(new char[kBufferSize + kSlack])} {}

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
  current_ = 0;
  used_ = 0;
  free_count_ = 0;
  for (std::size_t n = kBuffers - 1; n > 0; --n) {
    if (buffers_[n]) free_[free_count_++] = n;
  }
  write_error_.store(0, std::memory_order_relaxed);
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

Worker::Ticket TableStream::write_on_worker(SideFill fill) {
  if (!accepting_ || !use_worker()) return 0;
  flush();
  if (!accepting_) return 0;
  const std::size_t buffer = take_buffer();
  Worker::Ticket ticket = 0;
  try {
    ticket = worker_->post([this, buffer, fill = std::move(fill)] {
      char* const data = buffers_[buffer].get();
      sizes_[buffer] = static_cast<std::size_t>(fill(data) - data);
    });
  } catch (...) {
    free_[free_count_++] = buffer;
    throw;
  }
  post_write(buffer);
  return ticket;
}

void TableStream::close() {
  if (!sink_) return;
  if (accepting_) flush(/*last=*/true);
  wait_for(last_job_);
  last_job_ = 0;
  write_count_ = 0;
  check_writes();
  const int error_number = sink_->close();
  if (error_number != 0 && !failed_) fail("close", error_number);
  sink_.reset();
  accepting_ = false;
  used_ = 0;
}

bool TableStream::use_worker() {
  if (worker_ == nullptr || !worker_->start()) return false;
  for (std::size_t n = 1; n < kBuffers; ++n) {
    if (!buffers_[n]) {
      buffers_[n].reset(new char[kBufferSize + kSlack]);
      free_[free_count_++] = n;
    }
  }
  return true;
}

std::size_t TableStream::take_buffer() {
  if (free_count_ > 0) return free_[--free_count_];
  const Write oldest = writes_[first_write_];
  first_write_ = (first_write_ + 1) % kBuffers;
  --write_count_;
  worker_->wait(oldest.ticket);
  return oldest.buffer;
}

void TableStream::post_write(std::size_t buffer) {
  const Worker::Ticket ticket = worker_->post([this, buffer] {
    if (write_error_.load(std::memory_order_relaxed) != 0) return;
    const int error_number = sink_->write(buffers_[buffer].get(), sizes_[buffer]);
    if (error_number != 0) write_error_.store(error_number, std::memory_order_relaxed);
  });
  writes_[(first_write_ + write_count_) % kBuffers] = {ticket, buffer};
  ++write_count_;
  last_job_ = ticket;
}

bool TableStream::check_writes() {
  const int error_number = write_error_.load(std::memory_order_relaxed);
  if (error_number == 0) return true;
  if (!failed_) fail("write", error_number);
  return false;
}

void TableStream::flush(bool last) {
  if (used_ == 0) return;
  // A run that fits one buffer needs no second thread.
  if ((last && last_job_ == 0) || !use_worker()) {
    const int error_number = sink_->write(buffers_[current_].get(), used_);
    used_ = 0;
    if (error_number != 0) fail("write", error_number);
    return;
  }
  sizes_[current_] = used_;
  post_write(current_);
  used_ = 0;
  if (last) return;
  current_ = take_buffer();
  check_writes();
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

void NumberTexts::extend_to(std::int32_t largest) {
  for (auto value = static_cast<std::int32_t>(texts_.size()); value <= largest;
       ++value) {
    char text[8] = {','};
    const char* end = std::to_chars(text + 1, text + 7, value).ptr;
    std::uint64_t packed = 0;
    std::memcpy(&packed, text, 8);
    texts_.push_back(packed);
    lengths_.push_back(static_cast<std::uint64_t>(end - text));
  }
}

namespace {

// Stores the text of `value` ("," and its digits) with one 8-byte store and
// returns the end of the text. The bytes past it are overwritten by the
// next store or fall into the stream's slack.
char* put_number(char* out, const NumberTexts& numbers, std::size_t value) {
  std::memcpy(out, &numbers.texts()[value], 8);
  return out + numbers.lengths()[value];
}

// The first number with more digits than one whose text is `length` long.
std::size_t next_digit_count(std::uint64_t length) {
  constexpr std::size_t kPowersOfTen[] = {1, 1, 10, 100, 1000, 10000, 100000, 1000000};
  return kPowersOfTen[length];
}

// Writes the points first .. last of a walk (point k has k on the walk's
// axis and minor[k - 1] on the other), all of whose x texts are x_length
// long and whose ",x,y" texts are step long: per point one 8-byte store, or
// two when the texts are longer, the second over the zero bytes of the
// first.
template <bool kAlongX>
char* put_points(char* out, const std::uint64_t* texts, const MinorCoord* minor,
                 std::size_t first, std::size_t last, std::size_t x_length,
                 std::size_t step) {
  auto put_four = [&](auto put) {
    std::size_t k = first;
    for (; k + 3 <= last; k += 4) {
      put(out, k);
      put(out + step, k + 1);
      put(out + 2 * step, k + 2);
      put(out + 3 * step, k + 3);
      out += 4 * step;
    }
    for (; k <= last; ++k) {
      put(out, k);
      out += step;
    }
    return out;
  };
  if constexpr (std::endian::native == std::endian::little) {
    if (step <= 8) {
      // Both texts in one word, the y text's bytes after the x text's: one
      // store per point. Tables up to radius 999 have only such points.
      const std::size_t shift = 8 * x_length;
      return put_four([&](char* at, std::size_t k) {
        const std::size_t m = minor[k - 1];
        const std::uint64_t both = texts[kAlongX ? k : m] | texts[kAlongX ? m : k] << shift;
        std::memcpy(at, &both, 8);
      });
    }
  }
  return put_four([&](char* at, std::size_t k) {
    const std::size_t m = minor[k - 1];
    std::memcpy(at, &texts[kAlongX ? k : m], 8);
    std::memcpy(at + x_length, &texts[kAlongX ? m : k], 8);
  });
}

// Writes the points of a walk, in stretches over which neither coordinate
// changes its number of digits, so the loop within a stretch need not look
// up any length.
template <bool kAlongX>
char* put_walk(char* out, const NumberTexts& numbers, const MinorCoord* minor,
               std::size_t points, std::size_t across) {
  const std::uint64_t* lengths = numbers.lengths();
  for (std::size_t k = 1; k <= points;) {
    const std::size_t m = minor[k - 1];
    std::size_t last = std::min(points, next_digit_count(lengths[k]) - 1);
    const std::size_t m_limit = next_digit_count(lengths[m]);
    if (minor[last - 1] >= m_limit) {
      // The minor coordinates rise by 0 or 1 per point, close to
      // (k - 1) * across / points: start from there to find where they gain
      // a digit.
      std::size_t gain = (2 * m_limit - 1) * points / (2 * across);
      gain = std::clamp(gain, k, last - 1);
      while (minor[gain - 1] >= m_limit) --gain;
      while (minor[gain] < m_limit) ++gain;
      last = gain;
    }
    const std::size_t x_length = lengths[kAlongX ? k : m];
    out = put_points<kAlongX>(out, numbers.texts(), minor, k, last, x_length,
                              x_length + lengths[kAlongX ? m : k]);
    k = last + 1;
  }
  return out;
}

}  // namespace

void write_line_entry(TableStream& stream, std::int32_t number,
                      const CompactWalk& walk) {
  const std::int32_t length = std::max(walk.end.x, walk.end.y);
  if (number > NumberTexts::kLargest) {
    // Beyond any real table; the plain way will do.
    stream.write_text("\n\tline");
    stream.write_integer(number);
    stream.write_text("=");
    stream.write_integer(length);
    for (std::size_t k = 0; k < walk.minor.size(); ++k) {
      const auto major = static_cast<std::int64_t>(k + 1);
      stream.write_text(",");
      stream.write_integer(walk.along_x() ? major : walk.minor[k]);
      stream.write_text(",");
      stream.write_integer(walk.along_x() ? walk.minor[k] : major);
    }
    stream.write_text(";");
    return;
  }
  const auto points = static_cast<std::size_t>(length);
  char* out = stream.reserve(LineEntryText::room(points));
  if (out == nullptr) return;
  stream.entry_text_.prepare(std::max(number, length));
  stream.commit(stream.entry_text_.put(out, number, walk));
}

char* LineEntryText::put(char* out, std::int32_t number, const CompactWalk& walk) const {
  const auto points = walk.minor.size();
  // A number's text starts with a comma; here the byte before the digits
  // takes its place.
  std::memcpy(out, "\r\n\tlin", 6);
  char* line_number = out + 6;
  out = put_number(line_number, numbers_, static_cast<std::size_t>(number));
  *line_number = 'e';
  char* walk_length = out;
  out = put_number(walk_length, numbers_, points);
  *walk_length = '=';
  const MinorCoord* minor = walk.minor.data();
  const auto across = static_cast<std::size_t>(std::min(walk.end.x, walk.end.y));
  out = walk.along_x() ? put_walk<true>(out, numbers_, minor, points, across)
                       : put_walk<false>(out, numbers_, minor, points, across);
  *out++ = ';';
  return out;
}

void write_table_closing(TableStream& stream) { stream.write_text("\n}"); }

}  // namespace vantrel
