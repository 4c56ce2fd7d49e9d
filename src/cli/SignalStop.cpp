#include "cli/SignalStop.h"

#include <pthread.h>

#include <condition_variable>
#include <ctime>
#include <mutex>

namespace {

// How often the waiter looks whether it is still wanted.
constexpr timespec kPoll{0, 100'000'000};

}  // namespace

SignalStop::SignalStop(std::stop_source source) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
  waiter_ = std::jthread([this, source](std::stop_token done) mutable {
    while (!done.stop_requested()) {
      if (sigtimedwait(&signals_, nullptr, &kPoll) > 0) source.request_stop();
    }
  });
}

SignalStop::~SignalStop() {
  waiter_.request_stop();
  waiter_.join();
  // A signal that came after the waiter's last look would end the process
  // once unblocked; the command is ending anyway, so it is taken here.
  const timespec now{0, 0};
  while (sigtimedwait(&signals_, nullptr, &now) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

bool WaitFor(std::chrono::milliseconds period, const std::stop_token& stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, period, [] { return false; });
  return !stop.stop_requested();
}
