#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "location/JobQueue.h"
#include "location/RunOnThreads.h"

namespace {

// The threads drain what was pushed before the queue closed, and a thread
// that waits on an empty queue is let go by the closing, not held forever.
TEST(JobQueueTest, ThreadsRunEveryJobPushedBeforeTheCloseThenStop) {
  JobQueue jobs;
  std::atomic<int> ran{0};
  constexpr int kJobs = 50;
  // One job pushes the others while the threads already wait, then closes.
  jobs.Push([&] {
    for (int i = 0; i < kJobs; ++i) jobs.Push([&] { ++ran; });
    jobs.Close();
  });
  RunOnThreads(4, [&] {
    while (std::optional<JobQueue::Job> job = jobs.Pop()) (*job)();
  });
  EXPECT_EQ(ran, kJobs);
}

TEST(JobQueueTest, HandsOutJobsInTheOrderPushed) {
  JobQueue jobs;
  std::vector<int> order;
  for (int i = 0; i < 3; ++i) jobs.Push([&order, i] { order.push_back(i); });
  jobs.Close();
  while (std::optional<JobQueue::Job> job = jobs.Pop()) (*job)();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(jobs.Pop());
}

}  // namespace
