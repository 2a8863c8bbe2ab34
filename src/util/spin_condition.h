// A condition variable that spins for a while before it sleeps.
//
// Handing work between two threads many times a second, a thread that
// sleeps on a plain condition variable can take a long time to run again
// once woken: on virtual machines an idle processor is often given back to
// the host and must be scheduled anew first, which was seen to cost some
// hundreds of microseconds, as long as the work handed over. Watching for
// the change in a loop for a few milliseconds keeps the processor in use
// while the hand-overs are frequent, and still sleeps when they are not.
//
// Threads: any thread may wait or notify, always with the one mutex that
// guards what the waiters wait for.
#ifndef VANTREL_SPIN_CONDITION_H_
#define VANTREL_SPIN_CONDITION_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#endif

namespace vantrel {

class SpinCondition {
 public:
  // How long a waiter watches before it sleeps. Measured on a 2-core
  // virtual machine: long enough to span the hand-overs of a large table;
  // to tune it again, compare BM_BuildTable/400/1 (bench/) and the wall time
  // of bench/run.sh, and check with `perf stat` that the run keeps close to
  // two processors busy.
  static constexpr std::chrono::microseconds kSpin{2000};

  // Wakes the waiters. Call with the mutex held, after changing what they
  // wait for.
  void notify_all() {
    changes_.fetch_add(1, std::memory_order_release);
    sleeping_.notify_all();
  }

  // Waits, `lock` held, until `ready()` (called with the lock held) is true.
  template <class Ready>
  void wait(std::unique_lock<std::mutex>& lock, Ready ready) {
    while (!ready()) {
      const std::uint64_t seen = changes_.load(std::memory_order_relaxed);
      lock.unlock();
      const bool changed = watch(seen);
      lock.lock();
      if (!changed) {
        sleeping_.wait(lock, [&] {
          return changes_.load(std::memory_order_relaxed) != seen;
        });
      }
    }
  }

 private:
  // Watches for a change after `seen` for up to kSpin; true when one came.
  // With one processor only, watching would keep the other thread from
  // making the change.
  bool watch(std::uint64_t seen) const {
    static const bool alone = std::thread::hardware_concurrency() == 1;
    if (alone) return false;
    const auto deadline = std::chrono::steady_clock::now() + kSpin;
    for (;;) {
      for (int i = 0; i < 64; ++i) {
        if (changes_.load(std::memory_order_acquire) != seen) return true;
        pause();
      }
      if (std::chrono::steady_clock::now() >= deadline) return false;
      // Another thread may be waiting for this processor.
      std::this_thread::yield();
    }
  }

  // Tells the processor that this is a busy wait.
  static void pause() {
#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    _mm_pause();
#elif defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) && defined(__GNUC__)
    asm volatile("yield");
#endif
  }

  std::atomic<std::uint64_t> changes_{0};
  std::condition_variable sleeping_;
};

}  // namespace vantrel

#endif  // VANTREL_SPIN_CONDITION_H_
