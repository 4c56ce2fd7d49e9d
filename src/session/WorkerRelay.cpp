#include "session/WorkerRelay.h"

#include <QMetaObject>
#include <QObject>

void WorkerRelay::post(std::function<void()> call) {
  // The lock keeps the receiver from being destroyed while its event is
  // being posted; once posted, Qt itself discards the event with the
  // receiver.
  const std::lock_guard lock(mutex_);
  if (receiver_) QMetaObject::invokeMethod(receiver_, std::move(call), Qt::QueuedConnection);
}

void WorkerRelay::detach() {
  const std::lock_guard lock(mutex_);
  receiver_ = nullptr;
}
