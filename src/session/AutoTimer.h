#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

class FarmSession;

// Refreshes the farm every AutoTimerInterval minutes while AutoRefresh is
// on, and submits the new factors after each refresh while AutoSubmit is on
// too. A tick runs its refresh, then its submission, each after the other
// has ended, and arms the next tick only when both have: the period counts
// from the end of a tick's work, and ticks never pile up. A tick that finds
// a refresh or a submission running skips it and still re-arms; one that
// falls due while a dialog edits the farm waits for it (the session's rule).
class AutoTimer : public QObject {
  Q_OBJECT

 public:
  AutoTimer(FarmSession& session, std::chrono::milliseconds minute, QObject* parent = nullptr);
  // Counts the program's minute: AutomationMinute.
  explicit AutoTimer(FarmSession& session, QObject* parent = nullptr);

  // Stops the timer, then starts a full period when AutoRefresh is on.
  void RearmAutoTimer();
  bool armed() const { return step_ == Step::Armed; }
  bool inTick() const { return step_ == Step::Refreshing || step_ == Step::Submitting; }

 signals:
  void ticked();  // a tick's work has ended

 private:
  enum class Step { Off, Armed, Refreshing, Submitting };

  void waitForDue();
  void OnAutoTimer();
  void refreshEnded();
  void submissionEnded();
  void endTick();

  FarmSession& session_;
  std::chrono::milliseconds minute_;
  QTimer timer_;
  // Qt's timers take an int of milliseconds, under 25 days; longer periods
  // wait in steps until the tick is due.
  std::chrono::steady_clock::time_point due_;
  Step step_ = Step::Off;
};
