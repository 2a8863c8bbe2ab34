#include "worker.h"

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
}

TEST(Worker, RunsTheQueuedJobsBeforeItStops) {
  std::vector<int> done;
  {
    Worker worker;
    for (int n = 0; n < 100; ++n) worker.post([&done, n] { done.push_back(n); });
  }
  ASSERT_EQ(done.size(), 100u);
  for (int n = 0; n < 100; ++n) EXPECT_EQ(done[static_cast<std::size_t>(n)], n);
}

}  // namespace
}  // namespace vantrel
