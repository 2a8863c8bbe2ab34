#include "losfile/worker.h"

#include <exception>

namespace vantrel {

bool Worker::start(StartHook hook) noexcept {
  if (running()) return true;
  const StartThread start = [this] { return start_thread(); };
  return hook ? hook(start) : start_thread();
}

bool Worker::start_thread() noexcept {
  try {
    thread_ = std::thread([this] { serve(); });
    return true;
  } catch (const std::exception&) {
    // std::system_error when the system has no thread to give,
    // std::bad_alloc when the thread's own state cannot be allocated.
    return false;
  }
}

Worker::Ticket Worker::post(Job job) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return posted_ - taken_ < kCapacity; });
  queue_[posted_ % kCapacity] = job;
  ++posted_;
  wake_.notify_all();
  return posted_;
}

void Worker::wait(Ticket ticket) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return finished_ >= ticket; });
}

void Worker::stop() {
  if (!running()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  thread_.join();
  stopping_ = false;
}

void Worker::serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return taken_ < posted_ || stopping_; });
    if (taken_ == posted_) return;
    Job job = queue_[taken_ % kCapacity];
    ++taken_;
    lock.unlock();
    job();
    lock.lock();
    ++finished_;
    done_.notify_all();
  }
}

}  // namespace vantrel
