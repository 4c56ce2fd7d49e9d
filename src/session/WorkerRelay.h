#pragma once

#include <deque>
#include <functional>
#include <mutex>

class QObject;

// Carries calls from worker threads to the thread of a receiving QObject,
// and drops them once the receiver has gone. A worker keeps the relay alive
// through a shared pointer, so it may outlive the receiver by any time (a
// fetch from a hanging host) without touching freed memory.
//
// The calls wait in the relay's own queue, under its own mutex; Qt's event
// queue only wakes the receiver, with a queued call of its slot `wakeSlot`
// that carries nothing, and that slot calls runNext(). So every hand-over
// is ordered by a lock that ThreadSanitizer sees, not by one hidden in Qt.
class WorkerRelay {
 public:
  WorkerRelay(QObject* receiver, const char* wakeSlot) : receiver_(receiver), wakeSlot_(wakeSlot) {}

  // From any thread: runs `call` on the receiver's thread, after every call
  // posted before it, unless the receiver is gone by then.
  void post(std::function<void()> call);

  // On the receiver's thread: runs the oldest call posted, unless the relay
  // is detached. Each call has a wake of its own, as if Qt carried it, so
  // that one waiting in a nested event loop (a message box) lets those
  // after it run meanwhile.
  void runNext();

  // The receiver is going; nothing is posted or run from now on.
  void detach();

 private:
  // Asks Qt to call the receiver's wake slot on its thread; under mutex_.
  void wake();

  std::mutex mutex_;
  QObject* receiver_;  // guarded by mutex_
  const char* wakeSlot_;
  std::deque<std::function<void()>> calls_;  // guarded by mutex_
};
