#include "worker.h"

#include <system_error>
#include <utility>

namespace vantrel {

Worker::~Worker() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  thread_.join();
}

bool Worker::start() {
  if (thread_.joinable()) return true;
  if (unavailable_) return false;
  try {
    thread_ = std::thread([this] { serve(); });
    return true;
  } catch (const std::system_error&) {
    unavailable_ = true;
    return false;
  }
}

Worker::Ticket Worker::post(Job job) {
  if (!start()) {
    job();
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = ++posted_;
    return posted_;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(job));
  wake_.notify_all();
  return ++posted_;
}

void Worker::wait(Ticket ticket) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return finished_ >= ticket; });
}

void Worker::serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    job();
    lock.lock();
    ++finished_;
    done_.notify_all();
  }
}

}  // namespace vantrel
