#include "losfile/table_stream.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace vantrel {

TableStream::TableStream(FailureReporter reporter, Threads threads,
                         Worker::StartHook start_hook)
    : reporter_(std::move(reporter)),
      start_hook_(start_hook),
      worker_state_(threads == Threads::kTwo ? WorkerState::kUntried
                                             : WorkerState::kUnavailable) {
  buffers_[0].reset(new char[kBufferSize + kSlack]);
}

TableStream::~TableStream() {
  wait_for_worker();
  sink_.reset();
}

void TableStream::attach(std::unique_ptr<ByteSink> sink) {
  close();
  sink_ = std::move(sink);
  used_ = 0;
  free_count_ = 0;
  for (std::size_t n = 0; n < kBuffers; ++n) {
    if (n != current_ && buffers_[n]) free_[free_count_++] = n;
  }
  write_error_.store(0, std::memory_order_relaxed);
  failed_ = false;
  accepting_ = sink_ != nullptr;
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

Worker::Ticket TableStream::write_filled(Fill fill) {
  if (!accepting_) return 0;
  if (!use_worker()) {
    if (char* out = reserve(kBufferSize)) commit(fill(out));
    return 0;
  }
  flush();
  if (!accepting_) return 0;
  return hand_over(take_buffer(), 0, fill);
}

void TableStream::stop_worker() {
  if (worker_state_ != WorkerState::kRunning) {
    worker_state_ = WorkerState::kUnavailable;
    return;
  }
  worker_.stop();
  worker_state_ = WorkerState::kUnavailable;
  job_count_ = 0;
  release_spare_buffers();
  check_writes();
}

void TableStream::close() {
  if (!sink_) return;
  if (accepting_) flush(/*last=*/true);
  wait_for_worker();
  job_count_ = 0;
  check_writes();
  const CloseFailure failure = sink_->close();
  if (failure.error_number != 0 && !failed_) fail(failure.operation, failure.error_number);
  sink_.reset();
  accepting_ = false;
  used_ = 0;
}

void TableStream::flush(bool last) {
  if (used_ == 0) return;
  if ((last && !has_worker()) || !use_worker()) {
    const int error_number = sink_->write(buffers_[current_].get(), used_);
    used_ = 0;
    if (error_number != 0) fail("write", error_number);
    return;
  }
  hand_over(current_, used_, {});
  used_ = 0;
  if (last) return;
  current_ = take_buffer();
  check_writes();
}

bool TableStream::use_worker() {
  if (worker_state_ != WorkerState::kUntried) return has_worker();
  worker_state_ = WorkerState::kUnavailable;
  // The buffers first: a thread with nothing to take turns with is no use.
  for (auto& buffer : buffers_) {
    if (!buffer) buffer.reset(new (std::nothrow) char[kBufferSize + kSlack]);
    if (!buffer) {
      release_spare_buffers();
      return false;
    }
  }
  if (!worker_.start(start_hook_)) {
    release_spare_buffers();
    return false;
  }
  free_count_ = 0;
  for (std::size_t n = 0; n < kBuffers; ++n) {
    if (n != current_) free_[free_count_++] = n;
  }
  worker_state_ = WorkerState::kRunning;
  return true;
}

void TableStream::release_spare_buffers() {
  for (std::size_t n = 0; n < kBuffers; ++n) {
    if (n != current_) buffers_[n].reset();
  }
  free_count_ = 0;
}

Worker::Ticket TableStream::hand_over(std::size_t buffer, std::size_t size, Fill fill) {
  sizes_[buffer] = size;
  fills_[buffer] = fill;
  const Worker::Ticket ticket = worker_.post([this, buffer] { run_job(buffer); });
  jobs_[(first_job_ + job_count_) % kBuffers] = {ticket, buffer};
  ++job_count_;
  return ticket;
}

void TableStream::run_job(std::size_t buffer) {
  if (write_error_.load(std::memory_order_relaxed) != 0) return;
  char* const data = buffers_[buffer].get();
  std::size_t size = sizes_[buffer];
  if (fills_[buffer]) size = static_cast<std::size_t>(fills_[buffer](data) - data);
  const int error_number = sink_->write(data, size);
  if (error_number != 0) write_error_.store(error_number, std::memory_order_relaxed);
}

std::size_t TableStream::take_buffer() {
  if (free_count_ > 0) return free_[--free_count_];
  const Job oldest = jobs_[first_job_];
  first_job_ = (first_job_ + 1) % kBuffers;
  --job_count_;
  worker_.wait(oldest.ticket);
  return oldest.buffer;
}

void TableStream::check_writes() {
  const int error_number = write_error_.load(std::memory_order_relaxed);
  if (error_number != 0 && !failed_) fail("write", error_number);
}

void TableStream::fail(std::string_view operation, int error_number) {
  failed_ = true;
  accepting_ = false;
  used_ = 0;
  if (reporter_) reporter_(operation, error_number);
}

}  // namespace vantrel
