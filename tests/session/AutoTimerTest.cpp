#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "model/SettingsFile.h"
#include "session/AutoTimer.h"
#include "session/FarmSession.h"
#include "submit/Submission.h"
#include "support/GateFetcher.h"
#include "support/QtTestClass.h"
#include "support/SiteUnderTest.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

namespace {

// The timer's minute in these tests; the farm's interval is one of them.
constexpr std::chrono::milliseconds kMinute{50};

const char kStatus[] = "pmax=200000000000\npmin=100000000000 : 40 kp/s\n";
const char kFactor[] = "100000000003 | 3*2^5+1\n";

}  // namespace

// The automation timer over a session: one local machine with a new
// factor, and one http machine whose files a gate can hold back.
class AutoTimerTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    site_ = std::make_unique<SiteUnderTest>();
    fetcher_ = std::make_shared<GateFetcher>();
    fetcher_->serve("http://slow/QsvStatus.dat", kStatus);
    fetcher_->serve("http://slow/fact.txt", "");
  }
  void cleanup() {
    timer_.reset();
    session_.reset();
    dir_.reset();
    site_.reset();
  }

  void offWithoutAutoRefresh() {
    open(false, true);
    timer_->RearmAutoTimer();
    QVERIFY(!timer_->armed());
    QSignalSpy ticked(timer_.get(), &AutoTimer::ticked);
    QTest::qWait(static_cast<int>(3 * kMinute.count()));
    QCOMPARE(ticked.count(), 0);
    QCOMPARE(session_->model().Machines[0].LastOldFactor, uint64_t{0});
  }

  // Each tick refreshes, submits what is new, marks it, and arms again.
  void ticksRefreshSubmitAndRearm() {
    open(true, true);
    QSignalSpy started(session_.get(), &FarmSession::refreshStarted);
    QSignalSpy ticked(timer_.get(), &AutoTimer::ticked);
    timer_->RearmAutoTimer();
    QVERIFY(timer_->armed());
    QTRY_COMPARE(ticked.count(), 2);
    QVERIFY(started.count() >= 2);
    QVERIFY(timer_->armed() || timer_->inTick());
    QCOMPARE(session_->model().Machines[0].LastOldFactor, uint64_t{100000000003});
    QCOMPARE(site_->PostCount("/sieve/sievePost.mhtml"), 1);  // the second tick had nothing new
  }

  // The timer marks nothing the site did not verify whole: the factor
  // stays new, and each tick posts it again.
  void automaticSubmissionMarksOnlyWhatTheSiteVerified() {
    open(true, true);
    site_->SetCountsText("0 of 1");
    QSignalSpy ticked(timer_.get(), &AutoTimer::ticked);
    timer_->RearmAutoTimer();
    QTRY_COMPARE(ticked.count(), 2);
    QCOMPARE(session_->model().Machines[0].LastOldFactor, uint64_t{0});
    QVERIFY(site_->PostCount("/sieve/sievePost.mhtml") >= 2);
  }

  // A submission from another process holds the settings file's turn: the
  // timer's waits for it, off the UI thread, then posts.
  void automaticSubmissionWaitsForAnotherOne() {
    open(true, true);
    Result<FileLock> turn = TakeSubmissionTurn(settings_, 1s);
    QVERIFY(turn);
    std::optional<FileLock> other(std::move(turn.value()));
    QSignalSpy ticked(timer_.get(), &AutoTimer::ticked);
    timer_->RearmAutoTimer();
    QTRY_COMPARE(session_->activity(), FarmSession::Activity::Submitting);
    QTest::qWait(200);  // the UI thread is free meanwhile
    QCOMPARE(site_->PostCount("/sieve/sievePost.mhtml"), 0);
    other.reset();
    QTRY_COMPARE(ticked.count(), 1);
    QCOMPARE(site_->PostCount("/sieve/sievePost.mhtml"), 1);
    QCOMPARE(session_->model().Machines[0].LastOldFactor, uint64_t{100000000003});
  }

  // A tick that finds a refresh running skips it and still re-arms.
  void tickDuringARefreshSkipsItAndRearms() {
    open(true, false);
    fetcher_->holdNext("http://slow/fact.txt");
    QVERIFY(session_->refresh());
    QSignalSpy started(session_.get(), &FarmSession::refreshStarted);
    QSignalSpy ticked(timer_.get(), &AutoTimer::ticked);
    timer_->RearmAutoTimer();
    QTRY_COMPARE(ticked.count(), 1);
    QVERIFY(timer_->armed());
    QVERIFY(session_->refreshing());
    QCOMPARE(started.count(), 0);
    fetcher_->release();
  }

  // A tick that falls due while a dialog edits the farm waits for it.
  void tickWhileEditingWaitsForTheDialog() {
    open(true, false);
    QSignalSpy started(session_.get(), &FarmSession::refreshStarted);
    QSignalSpy ticked(timer_.get(), &AutoTimer::ticked);
    {
      const FarmSession::EditLock lock(*session_);
      timer_->RearmAutoTimer();
      QTRY_VERIFY(timer_->inTick());
      QTest::qWait(static_cast<int>(2 * kMinute.count()));
      QCOMPARE(started.count(), 0);
      QCOMPARE(ticked.count(), 0);
    }
    QTRY_COMPARE(ticked.count(), 1);
    QCOMPARE(started.count(), 1);
  }

  // A tick during a submission skips both and still re-arms; the
  // submission goes on.
  void tickDuringASubmissionSkipsItAndRearms() {
    open(true, true);
    site_->SetFault(StandInSite::Fault::Stall);
    session_->setSubmitLimits({.connectTimeout = 1000ms, .stallTimeout = 1000ms});
    QVERIFY(session_->refresh());
    QVERIFY(QTest::qWaitFor([this] { return session_->runner().idle(); }));
    QVERIFY(!session_->submit(true));
    QCOMPARE(session_->activity(), FarmSession::Activity::Submitting);
    QSignalSpy started(session_.get(), &FarmSession::refreshStarted);
    QSignalSpy ticked(timer_.get(), &AutoTimer::ticked);
    timer_->RearmAutoTimer();
    QTRY_COMPARE(ticked.count(), 1);
    QVERIFY(timer_->armed());
    QCOMPARE(started.count(), 0);
    QCOMPARE(session_->activity(), FarmSession::Activity::Submitting);
  }

 private:
  void open(bool autoRefresh, bool autoSubmit) {
    dir_ = std::make_unique<TempDir>();
    Model configured;
    configured.Options.AutoRefresh = autoRefresh;
    configured.Options.AutoSubmit = autoSubmit;
    configured.Options.AutoTimerInterval = 1;
    configured.Options.Username = kSiteUser;
    configured.Machines.emplace_back("local", dir_->write("local/fact.txt", kFactor),
                                     dir_->write("local/QsvStatus.dat", kStatus), 0);
    configured.Machines.emplace_back("slow", "http://slow/fact.txt", "http://slow/QsvStatus.dat",
                                     0);
    settings_ = dir_->write("quillstrand.ini", SaveSettingsText("", configured));
    session_ = std::make_unique<FarmSession>(settings_, fetcher_);
    QVERIFY(session_->loadSettings());
    timer_ = std::make_unique<AutoTimer>(*session_, kMinute);
  }

  std::unique_ptr<SiteUnderTest> site_;
  std::shared_ptr<GateFetcher> fetcher_;
  std::unique_ptr<TempDir> dir_;
  std::string settings_;
  std::unique_ptr<FarmSession> session_;
  std::unique_ptr<AutoTimer> timer_;
};

QUILLSTRAND_QTEST_MAIN(AutoTimerTest)
#include "AutoTimerTest.moc"
