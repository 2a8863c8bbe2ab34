// The table stream and the writers of LOS.TDF's blocks and entries.
// Every '\n' written through the stream reaches the file as CR LF, on every
// platform; the stream never prints. Once a write fails, every later write is
// dropped and the failure is handed, once, to the reporter of the stream.
// Given a worker, the stream has full buffers written on the worker's
// thread, so a failure comes to light at a later write or at the latest when
// the stream closes; the file then holds exactly what the system accepted
// before it.
#ifndef VANTREL_TABLE_FILE_H_
#define VANTREL_TABLE_FILE_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "cell.h"
#include "worker.h"

namespace vantrel {

inline constexpr char kTableFileName[] = "LOS.TDF";

// Where the bytes of a table stream end up. Both calls return 0 on success or
// the system's error number; a failed write may have stored a prefix of the
// bytes, which then stays. write() may run on the stream's worker thread,
// one call at a time.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual int write(const char* data, std::size_t size) = 0;
  virtual int close() { return 0; }
};

// Told what went wrong: the operation ("open", "write" or "close") and the
// system's error number.
using FailureReporter =
    std::function<void(std::string_view operation, int error_number)>;

// The texts "," + decimal digits of the whole numbers 0, 1, 2, ..., each
// padded with zero bytes to 8 so that one store writes it, with its length
// beside it.
class NumberTexts {
 public:
  // The largest number with a text: "," and six digits fill 7 bytes.
  static constexpr std::int32_t kLargest = 999999;

  // Makes sure 0 .. largest (at most kLargest) have their texts.
  void extend_to(std::int32_t largest);

  const std::uint64_t* texts() const { return texts_.data(); }
  const std::uint64_t* lengths() const { return lengths_.data(); }

 private:
  std::vector<std::uint64_t> texts_;
  std::vector<std::uint64_t> lengths_;
};

// Line entries' text ("\n\tline<number>=<length>,x,y,...;" with CR LF),
// stored straight into memory.
class LineEntryText {
 public:
  // The most bytes the entry of a walk of `points` points takes: "\r\n\tline",
  // two numbers, "=" and ";", and per point ",x,y" with at most five digits
  // each (coordinates stay below 2^16).
  static constexpr std::size_t room(std::size_t points) { return 32 + 12 * points; }

  // Makes sure line numbers and coordinates up to `largest` (at most
  // NumberTexts::kLargest) can be stored.
  void prepare(std::int32_t largest) { numbers_.extend_to(largest); }

  // Stores the entry of line `number` for `walk`, both prepared, at `out`,
  // which has room(points) bytes plus 8 that may be scribbled on; returns
  // the end of the entry.
  char* put(char* out, std::int32_t number, const CompactWalk& walk) const;

 private:
  NumberTexts numbers_;
};

// The one output stream of a run: text and integers into large buffers,
// written in order to a file or another sink.
class TableStream {
 public:
  // Bytes gathered before they are handed to the sink.
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  // Writes on `worker` when given one (which must outlive the stream), else
  // on the caller's thread.
  explicit TableStream(FailureReporter reporter = {}, Worker* worker = nullptr);
  ~TableStream();
  TableStream(const TableStream&) = delete;
  TableStream& operator=(const TableStream&) = delete;

  // Creates the file at `path`, or truncates it, for writing. When that
  // fails the stream is failed from the start.
  void open(const char* path);

  // Sends the bytes to `sink` instead of a file (tests, benchmarks).
  void attach(std::unique_ptr<ByteSink> sink);

  // Appends text, storing each '\n' as CR LF. Does nothing once failed.
  void write_text(std::string_view text);

  // Appends the decimal form of `value`: a '-' for negatives, no padding.
  void write_integer(std::int64_t value);

  // Has text stored on the worker's thread, after everything written so
  // far, while this thread goes on: `fill` is given kBufferSize bytes (plus
  // kSlack it may scribble on) and returns the end of what it stored. It
  // must not throw. Returns the ticket of the fill, or 0 when there is no
  // worker thread or the stream drops writes: then nothing was done.
  using SideFill = std::function<char*(char* out)>;
  Worker::Ticket write_on_worker(SideFill fill);

  // Waits for the job of `ticket` (from write_on_worker; 0 for none).
  void wait_for(Worker::Ticket ticket) {
    if (ticket != 0) worker_->wait(ticket);
  }

  // Hands the rest of the buffer to the sink, waits for every write and
  // releases the sink. Closing a stream that is not attached does nothing.
  void close();

  // True once open, a write or close has failed.
  bool failed() const { return failed_; }

  // Raw access for the writers: room for `size` bytes (at most kBufferSize)
  // stored as they stand, with no CR LF translation, plus kSlack bytes that
  // may be scribbled on and are not stored. Returns nullptr when the stream
  // drops writes; otherwise pass the end of what was written to commit().
  static constexpr std::size_t kSlack = 16;
  char* reserve(std::size_t size) {
    if (!accepting_) return nullptr;
    if (kBufferSize - used_ < size) flush();
    return accepting_ ? buffers_[current_].get() + used_ : nullptr;
  }
  void commit(const char* end) {
    used_ = static_cast<std::size_t>(end - buffers_[current_].get());
  }

 private:
  friend void write_line_entry(TableStream& stream, std::int32_t number,
                               const CompactWalk& walk);

  // Buffers: one filling here, the others being filled on the worker,
  // written, or free.
  static constexpr std::size_t kBuffers = 4;

  // Hands the buffer being filled to the sink. Full buffers go out on the
  // worker while the next ones fill; a last one (`last`) when nothing else
  // went out goes directly.
  void flush(bool last = false);
  // True when buffers go to the worker's thread: it runs, and the buffers
  // to take turns with are allocated.
  bool use_worker();
  // A buffer out of use; waits for the oldest write when every buffer is in
  // use.
  std::size_t take_buffer();
  // Queues the write of sizes_[buffer] bytes of `buffer` on the worker; it
  // is dropped once a write before it has failed.
  void post_write(std::size_t buffer);
  // Takes note of a failed write on the worker; true while there is none.
  bool check_writes();
  void fail(std::string_view operation, int error_number);

  LineEntryText entry_text_;
  FailureReporter reporter_;
  std::unique_ptr<ByteSink> sink_;
  Worker* worker_;
  std::unique_ptr<char[]> buffers_[kBuffers];
  // The bytes of each buffer handed over; a side fill sets its buffer's on
  // the worker's thread.
  std::size_t sizes_[kBuffers] = {};
  std::size_t current_ = 0;  // the buffer being filled
  std::size_t used_ = 0;
  std::size_t free_[kBuffers] = {};
  std::size_t free_count_ = 0;
  // The writes under way, oldest first, from writes_[first_write_] on.
  struct Write {
    Worker::Ticket ticket;
    std::size_t buffer;
  };
  Write writes_[kBuffers] = {};
  std::size_t first_write_ = 0;
  std::size_t write_count_ = 0;
  Worker::Ticket last_job_ = 0;  // the latest job handed to the worker
  // The first failed write's error number; set on the worker's thread.
  std::atomic<int> write_error_{0};
  bool failed_ = false;
  bool accepting_ = false;  // attached and not failed
};

// "[TABLEINFO]" with the table count, written right after opening the file.
void write_header_block(TableStream& stream, std::int32_t table_count);

// "[Table<k>]" and its opening brace.
void write_table_opening(TableStream& stream, std::int32_t radius);

// The "numlines" entry of a table with `line_count` lines.
void write_line_count(TableStream& stream, std::int32_t line_count);

// Entry "line<number>": the walk's length, then each point's x and y.
void write_line_entry(TableStream& stream, std::int32_t number,
                      const CompactWalk& walk);

// The closing brace of a table block.
void write_table_closing(TableStream& stream);

}  // namespace vantrel

#endif  // VANTREL_TABLE_FILE_H_
