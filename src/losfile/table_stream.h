// The one output stream of a run: text and integers gathered in large
// buffers and written, in order, to a byte sink. The one place that knows
// about CR LF, buffering and write failures; knows nothing of tables.
//
// Every '\n' written through write_text reaches the sink as CR LF. Once a
// write fails, every later write is dropped and the failure is handed, once,
// to the stream's reporter; the sink keeps exactly what it accepted before.
//
// Threads: the owner, the thread that made the stream, calls every member
// function, and the reporter runs on it. With Threads::kTwo the stream has a
// worker thread of its own, started the first time a full buffer is to be
// written: from then on the worker writes each full buffer and runs each
// fill (write_filled), in the order they were handed over, while the owner
// goes on. A failed write on the worker comes to light at a later hand-off,
// or at the latest at close(). Where no thread or no buffers for it can be
// had, everything runs on the owner's thread, with the same bytes.
#ifndef VANTREL_TABLE_STREAM_H_
#define VANTREL_TABLE_STREAM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "losfile/worker.h"
#include "util/byte_sink.h"
#include "util/inplace_function.h"

namespace vantrel {

// Told what went wrong: the operation ("write", or what the sink's close
// names) and the system's error number.
using FailureReporter =
    std::function<void(std::string_view operation, int error_number)>;

class TableStream {
 public:
  // Bytes gathered before they are handed to the sink.
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;
  // Bytes past the room asked of reserve() (and past a fill's kBufferSize)
  // that may be scribbled on; they are never stored.
  static constexpr std::size_t kSlack = 16;

  enum class Threads {
    kOne,  // everything on the owner's thread
    kTwo,  // a worker writes and fills buffers while the owner goes on
  };

  // Allocates the first buffer: throws std::bad_alloc before anything else
  // is done. Further buffers come with the worker, and only if both can be
  // had. The worker's thread is started through `start_hook`, when given
  // (Worker::StartHook).
  explicit TableStream(FailureReporter reporter = {}, Threads threads = Threads::kOne,
                       Worker::StartHook start_hook = {});
  // Waits for the worker and drops the sink without closing it: what was
  // not closed is not final (a new file is removed). Then ends the worker's
  // thread.
  ~TableStream();
  TableStream(const TableStream&) = delete;
  TableStream& operator=(const TableStream&) = delete;

  // Sends the bytes to `sink` from now on, after closing what was attached.
  // A stream that is not attached drops every write and reports nothing.
  void attach(std::unique_ptr<ByteSink> sink);

  // Appends text, storing each '\n' as CR LF. Does nothing once failed.
  void write_text(std::string_view text);

  // Appends the decimal form of `value`: a '-' for negatives, no padding.
  void write_integer(std::int64_t value);

  // Raw access for the writers of formatted text: room for `size` bytes (at
  // most kBufferSize), stored as they stand, with no CR LF translation, plus
  // kSlack. Returns nullptr when the stream drops writes; otherwise pass the
  // end of what was stored to commit().
  char* reserve(std::size_t size) {
    if (!accepting_) return nullptr;
    if (kBufferSize - used_ < size) flush();
    return accepting_ ? buffers_[current_].get() + used_ : nullptr;
  }
  void commit(const char* end) {
    used_ = static_cast<std::size_t>(end - buffers_[current_].get());
  }

  // Has `fill` store text after everything written so far: it is given
  // kBufferSize bytes, plus kSlack, and returns the end of what it stored.
  // While the worker runs, the fill runs on the worker's thread and the
  // owner goes on at once: whatever the fill uses must stay as it is until
  // the returned ticket has been waited for (wait_for, wait_for_worker,
  // stop_worker or close). Otherwise it runs here, now, and the ticket is 0.
  // Dropped, like any write, once the stream drops writes.
  using Fill = InplaceFunction<char*(char* out)>;
  Worker::Ticket write_filled(Fill fill);

  // True while the worker's thread writes and fills buffers.
  bool has_worker() const { return worker_state_ == WorkerState::kRunning; }

  // Waits until the fill of `ticket` has run (0 returns at once).
  void wait_for(Worker::Ticket ticket) {
    if (ticket != 0) worker_.wait(ticket);
  }

  // Waits until everything handed to the worker has been done.
  void wait_for_worker() {
    if (has_worker()) worker_.wait_all();
  }

  // Goes on with the owner's thread alone, for when memory runs short:
  // waits for everything handed over, ends the worker's thread and frees the
  // buffers that only it needed. Never started again.
  void stop_worker();

  // Hands the rest of the buffer to the sink, waits for every write and
  // closes the sink, which makes what was written final. Closing a stream
  // that is not attached does nothing.
  void close();

  // True once a write or the close has failed; takes note of a failed
  // write on the worker first, reporting it.
  bool failed() {
    check_writes();
    return failed_;
  }

  // False once writes are dropped: not attached, or failed.
  bool accepting() const { return accepting_; }

 private:
  // One buffer is filled here; with the worker, three more take turns being
  // written or filled on it, or lie free. Each buffer handed over is one job.
  static constexpr std::size_t kBuffers = 4;
  static_assert(kBuffers <= Worker::kCapacity, "a hand-off must never wait for room");

  enum class WorkerState { kUntried, kRunning, kUnavailable };

  // Hands the buffer being filled to the sink, and goes on with another
  // unless `last`. Without the worker it is written here, and so is a last
  // buffer when nothing went to the worker before: a run that fits one
  // buffer needs no second thread.
  void flush(bool last = false);
  // True when the worker runs; on first use, starts it if its buffers and
  // its thread can both be had.
  bool use_worker();
  // Frees every buffer but the one being filled.
  void release_spare_buffers();
  // Queues on the worker the job for `buffer`: run `fill` into it if given,
  // else take its first `size` bytes; then write them, unless a write before
  // has failed.
  Worker::Ticket hand_over(std::size_t buffer, std::size_t size, Fill fill);
  // Runs on the worker's thread.
  void run_job(std::size_t buffer);
  // A buffer out of use; waits for the oldest job when every one is in use.
  std::size_t take_buffer();
  // Takes note of a failed write on the worker.
  void check_writes();
  void fail(std::string_view operation, int error_number);

  FailureReporter reporter_;
  Worker::StartHook start_hook_;  // wraps the start of the worker's thread
  std::unique_ptr<ByteSink> sink_;  // written by jobs; closed once none is under way
  std::unique_ptr<char[]> buffers_[kBuffers];
  std::size_t current_ = 0;  // the buffer being filled here
  std::size_t used_ = 0;     // bytes of it filled

  // What a job takes from the owner: set before the hand-off, read on the
  // worker's thread, left alone by the owner until the job has run.
  std::size_t sizes_[kBuffers] = {};
  Fill fills_[kBuffers];

  // Every allocated buffer but current_ is either free or in a job. Jobs
  // under way, oldest first, stand at jobs_[first_job_] on; there are never
  // more than kBuffers.
  struct Job {
    Worker::Ticket ticket;
    std::size_t buffer;
  };
  Job jobs_[kBuffers] = {};
  std::size_t first_job_ = 0;
  std::size_t job_count_ = 0;
  std::size_t free_[kBuffers] = {};
  std::size_t free_count_ = 0;

  // The first failed write's error number; set on the worker's thread.
  std::atomic<int> write_error_{0};
  bool failed_ = false;
  bool accepting_ = false;  // attached and not failed
  WorkerState worker_state_;
  // Last: destroyed first, so that its thread has ended before anything a
  // job uses is freed.
  Worker worker_;
};

}  // namespace vantrel

#endif  // VANTREL_TABLE_STREAM_H_
