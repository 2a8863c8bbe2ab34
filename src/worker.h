// The run's second thread: runs jobs handed to it, one at a time, in the
// order they came, while the main thread goes on with its own work.
#ifndef VANTREL_WORKER_H_
#define VANTREL_WORKER_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "spin_condition.h"

namespace vantrel {

class Worker {
 public:
  // A job must not throw; it reports trouble through what it captures.
  using Job = std::function<void()>;
  // Jobs are numbered from 1 in the order they are posted; 0 is none.
  using Ticket = std::uint64_t;

  Worker() = default;
  // Runs the jobs still queued, then stops the thread.
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts the thread unless it runs; false when no thread can be had, in
  // which case post() runs each job at once, on the caller's thread.
  bool start();

  // Queues `job` behind the jobs posted before it, starting the thread on
  // first use, and returns its ticket.
  Ticket post(Job job);

  // Waits until the job of `ticket`, and so every job before it, has run.
  void wait(Ticket ticket);

 private:
  void serve();

  std::mutex mutex_;
  SpinCondition wake_;  // a job was posted, or the worker is stopping
  SpinCondition done_;  // a job has run
  std::deque<Job> queue_;
  Ticket posted_ = 0;
  Ticket finished_ = 0;
  bool stopping_ = false;
  bool unavailable_ = false;
  std::thread thread_;
};

}  // namespace vantrel

#endif  // VANTREL_WORKER_H_
