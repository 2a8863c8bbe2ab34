// The run's second thread: runs the jobs handed to it one at a time, in the
// order they were posted, while the thread that owns it goes on with its own
// work. Knows nothing of tables or files.
//
// Threads: every member function is called by the owner, the one thread that
// made the worker; jobs run on the worker's own thread. A job may use what it
// captures until the owner has waited for its ticket (wait, wait_all, stop
// or the destructor). A job must not throw and must not post.
#ifndef VANTREL_WORKER_H_
#define VANTREL_WORKER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "util/inplace_function.h"
#include "util/spin_condition.h"

namespace vantrel {

class Worker {
 public:
  using Job = InplaceFunction<void()>;
  // Jobs are numbered from 1 in the order they are posted; 0 is none.
  using Ticket = std::uint64_t;
  // Jobs that may wait in the queue at once; a post beyond waits for room.
  static constexpr std::size_t kCapacity = 8;

  Worker() = default;
  // Runs the jobs still queued, then ends the thread.
  ~Worker() { stop(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts the worker's thread, for Worker::start: true when it runs.
  using StartThread = InplaceFunction<bool()>;
  // Wraps the start of the thread, on the owner's thread: calls `start`
  // once and returns what it returns. Lets the owner choose what the new
  // thread inherits from its own (the vantrel tool blocks its interrupt
  // signals around it, so that they stay with the thread that owns the
  // file). Must not throw.
  using StartHook = InplaceFunction<bool(StartThread start)>;

  // Starts the thread unless it runs, through `hook` when one is given.
  // False when the system refuses a thread or memory runs out; never
  // throws.
  bool start(StartHook hook = {}) noexcept;

  bool running() const { return thread_.joinable(); }

  // Queues `job` behind the jobs posted before it and returns its ticket.
  // Requires running(). Cannot fail: the queue has fixed room, and a post
  // that finds it full waits until the thread has taken a job.
  Ticket post(Job job);

  // Waits until the job of `ticket`, and so every job before it, has run.
  // Ticket 0 returns at once.
  void wait(Ticket ticket);

  // Waits until every job posted so far has run.
  void wait_all() { wait(posted_); }

  // Runs the jobs still queued, then ends the thread.
  void stop();

 private:
  // Starts the thread itself: what start() does, or has its hook do.
  bool start_thread() noexcept;
  void serve();

  std::mutex mutex_;
  SpinCondition wake_;  // a job was posted, or the worker is stopping
  SpinCondition done_;  // a job was taken and has run
  // Job t waits in queue_[(t - 1) % kCapacity] while taken_ < t <= posted_.
  std::array<Job, kCapacity> queue_;
  Ticket posted_ = 0;    // written by the owner, under mutex_
  Ticket taken_ = 0;     // written by the worker, under mutex_
  Ticket finished_ = 0;  // written by the worker, under mutex_
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace vantrel

#endif  // VANTREL_WORKER_H_
