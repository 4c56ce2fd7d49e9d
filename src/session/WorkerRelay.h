#pragma once

#include <functional>
#include <mutex>

class QObject;

// Carries calls from worker threads to the thread of a receiving QObject,
// and drops them once the receiver has gone. A worker keeps the relay alive
// through a shared pointer, so it may outlive the receiver by any time (a
// fetch from a hanging host) without touching freed memory.
class WorkerRelay {
 public:
  explicit WorkerRelay(QObject* receiver) : receiver_(receiver) {}

  // From any thread: runs `call` on the receiver's thread, unless the
  // receiver is gone by then.
  void post(std::function<void()> call);

  // The receiver is going; nothing is posted from now on. Calls posted
  // before are dropped by Qt when the receiver is destroyed.
  void detach();

 private:
  std::mutex mutex_;
  QObject* receiver_;  // guarded by mutex_
};
