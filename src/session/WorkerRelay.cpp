#include "session/WorkerRelay.h"

#include <QMetaObject>
#include <QObject>

void WorkerRelay::post(std::function<void()> call) {
  // The lock keeps the receiver from being destroyed while it is woken;
  // once the wake is posted, Qt itself discards it with the receiver.
  const std::lock_guard lock(mutex_);
  if (!receiver_) return;
  calls_.push_back(std::move(call));
  // A queue that held calls already has its wake on the way.
  if (calls_.size() == 1) wake();
}

void WorkerRelay::runNext() {
  std::function<void()> call;
  {
    const std::lock_guard lock(mutex_);
    if (!receiver_ || calls_.empty()) return;
    call = std::move(calls_.front());
    calls_.pop_front();
    if (!calls_.empty()) wake();
  }
  // Run unlocked: the call may post again, or close its receiver.
  call();
}

void WorkerRelay::wake() { QMetaObject::invokeMethod(receiver_, wakeSlot_, Qt::QueuedConnection); }

void WorkerRelay::detach() {
  std::deque<std::function<void()>> dropped;
  const std::lock_guard lock(mutex_);
  receiver_ = nullptr;
  // Destroyed after the lock is given back, as whatever they hold may be.
  dropped.swap(calls_);
}
