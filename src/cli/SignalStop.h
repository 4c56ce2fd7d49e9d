#pragma once

#include <signal.h>

#include <chrono>
#include <stop_token>
#include <thread>

// While it lives, SIGINT and SIGTERM do not end the process but ask
// `source` to stop, so that a long-running command can finish what it is
// doing (a mark, a log entry) and return. Make it before any other thread
// starts: the signals are blocked in the thread that makes it and so in
// every thread started after.
class SignalStop {
 public:
  explicit SignalStop(std::stop_source source);
  SignalStop(const SignalStop&) = delete;
  SignalStop& operator=(const SignalStop&) = delete;
  ~SignalStop();

 private:
  sigset_t signals_;
  sigset_t previous_;
  std::jthread waiter_;
};

// Waits `period` unless stopped first; false when stopped.
bool WaitFor(std::chrono::milliseconds period, const std::stop_token& stop);
