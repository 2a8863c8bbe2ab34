#include "losfile/worker.h"

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(Worker, RunsJobsInOrderAndWaitCoversEveryEarlierJob) {
  // Job n notes its place in the order the jobs ran in.
  std::array<int, 10> place{};
  int next = 0;  // touched by the worker's thread only
  Worker worker;
  ASSERT_TRUE(worker.start());
  Worker::Ticket fifth = 0;
  for (int n = 0; n < 10; ++n) {
    const Worker::Ticket ticket = worker.post([&place, &next, n] {
      // Slow enough that the later jobs are still queued when waited for.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      place[static_cast<std::size_t>(n)] = ++next;
    });
    if (n == 4) fifth = ticket;
  }
  worker.wait(fifth);
  // The jobs after the fifth may still run; the first five have run, first.
  for (int n = 0; n < 5; ++n) EXPECT_EQ(place[static_cast<std::size_t>(n)], n + 1);
  worker.wait_all();
  for (int n = 0; n < 10; ++n) EXPECT_EQ(place[static_cast<std::size_t>(n)], n + 1);
}

TEST(Worker, TakesMoreJobsThanItsQueueHoldsAndRunsThemAllBeforeItStops) {
  // Many more jobs than the queue has room for: posting waits, never fails.
  std::vector<int> done;
  {
    Worker worker;
    ASSERT_TRUE(worker.start());
    for (int n = 0; n < 100; ++n) worker.post([&done, n] { done.push_back(n); });
    worker.stop();
    EXPECT_FALSE(worker.running());
    ASSERT_EQ(done.size(), 100u);
    // A stopped worker can start again.
    ASSERT_TRUE(worker.start());
    for (int n = 100; n < 150; ++n) worker.post([&done, n] { done.push_back(n); });
  }
  ASSERT_EQ(done.size(), 150u);
  for (int n = 0; n < 150; ++n) EXPECT_EQ(done[static_cast<std::size_t>(n)], n);
}

TEST(Worker, StartsItsThreadWithinTheHookAndOnlyAsTheHookSays) {
  // The hook is where the owner sets what the thread inherits: the thread
  // exists once the hook has called the start, not before.
  int hooked = 0;
  Worker worker;
  ASSERT_TRUE(worker.start([&hooked, &worker](Worker::StartThread start) {
    ++hooked;
    EXPECT_FALSE(worker.running());
    const bool started = start();
    EXPECT_TRUE(worker.running());
    return started;
  }));
  EXPECT_EQ(hooked, 1);
  // A running worker does not start again, nor call its hook.
  ASSERT_TRUE(worker.start([&hooked](Worker::StartThread start) {
    ++hooked;
    return start();
  }));
  EXPECT_EQ(hooked, 1);
  int ran = 0;
  worker.wait(worker.post([&ran] { ++ran; }));
  EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace vantrel
