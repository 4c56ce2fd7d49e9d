#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

// Work for the threads of RunOnThreads: what is known at the start, and
// what comes in while they run, until the queue is closed.
class JobQueue {
 public:
  using Job = std::function<void()>;

  void Push(Job job) {
    {
      const std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
  }

  // No job comes in after this; those in the queue are still handed out.
  void Close() {
    {
      const std::lock_guard lock(mutex_);
      closed_ = true;
    }
    ready_.notify_all();
  }

  // Waits for the next job; none once the queue is closed and empty.
  std::optional<Job> Pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
    if (jobs_.empty()) return std::nullopt;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    return job;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> jobs_;
  bool closed_ = false;
};
