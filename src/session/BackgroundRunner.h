#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>

class WorkerRelay;

// Runs work that waits on disks or the network off the UI thread, and
// brings its results back to it. It knows how many jobs are in flight and
// says when none is left, so that callers (and tests) wait on that rather
// than on time. Each job has a stop token: a caller can stop one job, and
// shutdown stops them all.
class BackgroundRunner : public QObject {
  Q_OBJECT

 public:
  // What a job is given while it runs on its worker thread.
  class Job {
   public:
    Job(std::shared_ptr<WorkerRelay> relay, std::stop_token stop)
        : relay_(std::move(relay)), stop_(std::move(stop)) {}

    const std::stop_token& stopToken() const { return stop_; }
    bool stopRequested() const { return stop_.stop_requested(); }
    // Runs `call` on the runner's thread, in the order posted, unless the
    // runner has gone by then.
    void post(std::function<void()> call) const;

   private:
    std::shared_ptr<WorkerRelay> relay_;
    std::stop_token stop_;
  };

  explicit BackgroundRunner(QObject* parent = nullptr);
  // Shuts down with a short deadline.
  ~BackgroundRunner() override;

  // Starts `work` on a worker thread of its own. A job stops when `stop`
  // (given by the caller to stop this job alone) or the runner asks it to.
  void run(std::function<void(const Job&)> work, std::stop_source stop = {});

  int inFlight() const { return inFlight_; }
  bool idle() const { return inFlight_ == 0; }

  // Asks every job to stop and waits until they have ended or `deadline`
  // has passed; a job still running then (a read that cannot be stopped)
  // is left to end on its own, and whatever it posts is dropped. No job
  // starts after this.
  void shutdown(std::chrono::milliseconds deadline);

 signals:
  // The last job in flight has ended and what it posted has been run.
  void becameIdle();

 private:
  struct Shared;

  // Woken by the relay: runs the next call a job has posted.
  Q_INVOKABLE void runNextPosted();
  void jobEnded();

  std::shared_ptr<Shared> shared_;
  std::shared_ptr<WorkerRelay> relay_;
  int inFlight_ = 0;
};
