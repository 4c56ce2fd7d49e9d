#include "session/BackgroundRunner.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "session/WorkerRelay.h"

// What the runner and its worker threads share; a thread left running after
// shutdown keeps it alive.
struct BackgroundRunner::Shared {
  std::mutex mutex;
  std::condition_variable ended;
  int running = 0;  // threads not yet ended, guarded by mutex
  std::stop_source all;
};

namespace {

constexpr std::chrono::milliseconds kClosingDeadline{500};

}  // namespace

void BackgroundRunner::Job::post(std::function<void()> call) const {
  relay_->post(std::move(call));
}

BackgroundRunner::BackgroundRunner(QObject* parent)
    : QObject(parent),
      shared_(std::make_shared<Shared>()),
      relay_(std::make_shared<WorkerRelay>(this, "runNextPosted")) {}

BackgroundRunner::~BackgroundRunner() { shutdown(kClosingDeadline); }

void BackgroundRunner::run(std::function<void(const Job&)> work, std::stop_source stop) {
  if (shared_->all.stop_requested()) return;
  // The job stops when either its own source or the runner's asks it to.
  auto linked = std::make_shared<std::stop_source>(std::move(stop));
  auto forward = std::make_shared<std::stop_callback<std::function<void()>>>(
      shared_->all.get_token(), std::function<void()>([linked] { linked->request_stop(); }));
  ++inFlight_;
  {
    const std::lock_guard lock(shared_->mutex);
    ++shared_->running;
  }
  auto body = [shared = shared_, relay = relay_, work = std::move(work), linked, forward, this] {
    work(Job(relay, linked->get_token()));
    // Posted after everything the job posted, so that idle means applied.
    relay->post([this] { jobEnded(); });
    const std::lock_guard lock(shared->mutex);
    --shared->running;
    shared->ended.notify_all();
  };
  try {
    std::thread(std::move(body)).detach();
  } catch (const std::system_error&) {
    body();  // no thread to be had: slower, but the result still comes
  }
}

void BackgroundRunner::runNextPosted() {
  // A posted call may destroy this runner; the relay outlives it.
  const auto relay = relay_;
  relay->runNext();
}

void BackgroundRunner::jobEnded() {
  if (--inFlight_ == 0) emit becameIdle();
}

void BackgroundRunner::shutdown(std::chrono::milliseconds deadline) {
  shared_->all.request_stop();
  relay_->detach();
  std::unique_lock lock(shared_->mutex);
  shared_->ended.wait_for(lock, deadline, [this] { return shared_->running == 0; });
}
