#include "session/AutoTimer.h"

#include <algorithm>
#include <limits>

#include "farm/Automation.h"
#include "session/FarmSession.h"

AutoTimer::AutoTimer(FarmSession& session, QObject* parent)
    : AutoTimer(session, AutomationMinute(), parent) {}

AutoTimer::AutoTimer(FarmSession& session, std::chrono::milliseconds minute, QObject* parent)
    : QObject(parent), session_(session), minute_(minute) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &AutoTimer::waitForDue);
  connect(&session_, &FarmSession::refreshed, this, &AutoTimer::refreshEnded);
  connect(&session_, &FarmSession::refreshDropped, this, &AutoTimer::refreshEnded);
  connect(&session_, &FarmSession::submissionEnded, this, &AutoTimer::submissionEnded);
}

void AutoTimer::RearmAutoTimer() {
  timer_.stop();
  step_ = Step::Off;
  if (!session_.model().Options.AutoRefresh) return;
  step_ = Step::Armed;
  due_ = std::chrono::steady_clock::now() + AutoTimerPeriod(session_.model().Options, minute_);
  waitForDue();
}

void AutoTimer::waitForDue() {
  if (step_ != Step::Armed) return;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(due_ - std::chrono::steady_clock::now());
  if (left.count() <= 0) {
    OnAutoTimer();
    return;
  }
  timer_.start(static_cast<int>(
      std::min<std::chrono::milliseconds::rep>(left.count(), std::numeric_limits<int>::max())));
}

void AutoTimer::OnAutoTimer() {
  timer_.stop();
  step_ = Step::Refreshing;
  if (!session_.refresh()) refreshEnded();
}

void AutoTimer::refreshEnded() {
  if (step_ != Step::Refreshing) return;
  if (!session_.model().Options.AutoSubmit) {
    endTick();
    return;
  }
  step_ = Step::Submitting;
  session_.submit(false);
}

void AutoTimer::submissionEnded() {
  if (step_ == Step::Submitting) endTick();
}

void AutoTimer::endTick() {
  RearmAutoTimer();
  emit ticked();
}
