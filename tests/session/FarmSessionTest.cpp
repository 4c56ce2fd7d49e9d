#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "model/SettingsFile.h"
#include "ranges/QueueFile.h"
#include "ranges/QueueWrites.h"
#include "session/FarmSession.h"
#include "support/GateFetcher.h"
#include "support/QtTestClass.h"
#include "support/TempDir.h"

namespace {

const char kStatus[] = "pmax=200000000000\npmin=100000000000 : 40 kp/s\n";
const Range kQueued{300000000000, 400000000000};
const Range kEdited{500000000000, 600000000000};

// Two machines with queue files in a temporary folder: "a" with one factor
// line, "b" with three.
struct TwoMachines {
  TwoMachines() {
    Model configured;
    for (const auto& [name, factors] : {std::pair{"a", "100000000003 | 3*2^5+1\n"},
                                        std::pair{"b",
                                                  "100000000007 | 3*2^5+1\n100000000013 | 3*2^5+1\n"
                                                  "100000000019 | 3*2^5+1\n"}}) {
      const std::string folder = std::string(name) + "/";
      dir.write(folder + "nextrange.txt", FormatQueuedRanges({kQueued}));
      configured.Machines.emplace_back(name, dir.write(folder + "fact.txt", factors),
                                       dir.write(folder + "QsvStatus.dat", kStatus), 0);
    }
    settingsPath = dir.write("quillstrand.ini", SaveSettingsText("", configured));
  }

  TempDir dir;
  std::string settingsPath;
};

}  // namespace

class FarmSessionTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    farm_ = std::make_unique<TwoMachines>();
    session_ = std::make_unique<FarmSession>(farm_->settingsPath, std::make_shared<GateFetcher>());
    QVERIFY(session_->loadSettings());
  }
  void cleanup() {
    session_.reset();
    farm_.reset();
  }

  // A queue edited while its old file is on the way keeps the edit; the
  // machine's other files still apply.
  void queueWrittenWhileARefreshReadsItStaysAsWritten() {
    QVERIFY(session_->refresh());
    {
      const FarmSession::EditLock lock(*session_);
      settle();  // everything is read, and held
      QCOMPARE(session_->model().Machines[0].TotalFactors, 0);
      QCOMPARE(write({{{kQueued}, {kEdited}}, {{kQueued}, {kQueued}}}).Failure, QString());
    }
    QVERIFY(!session_->refreshing());
    QCOMPARE(session_->model().Machines[0].QueuedRanges, std::vector<Range>{kEdited});
    QCOMPARE(session_->model().Machines[0].TotalFactors, 1);
    QCOMPARE(session_->model().Machines[1].QueuedRanges, std::vector<Range>{kQueued});
    QCOMPARE(ReadFile(farm_->dir.file("a/nextrange.txt")), FormatQueuedRanges({kEdited}));
  }

  // Deleting machine 0 while the farm is read must not give machine 1 the
  // files of machine 0; the new table is read instead.
  void machinesReplacedWhileARefreshReadsGetTheirOwnFiles() {
    QSignalSpy started(session_.get(), &FarmSession::refreshStarted);
    QVERIFY(session_->refresh());
    {
      const FarmSession::EditLock lock(*session_);
      settle();
      QVERIFY(session_->replaceFarm(session_->model().Options, {session_->model().Machines[1]}));
    }
    settle();
    QCOMPARE(started.count(), 2);
    QCOMPARE(session_->model().Machines.size(), size_t{1});
    QCOMPARE(session_->model().Machines[0].Name, std::string("b"));
    QCOMPARE(session_->model().Machines[0].TotalFactors, 3);
    QCOMPARE(session_->newFactorCount(), 3);
    QCOMPARE(session_->model().Marks, (NewFactorMarks{{0, 100000000019}}));
  }

  // A queue file that cannot be read holds ranges nobody has seen; an
  // empty queue is not written over it.
  void unreadableQueueFileIsNotOverwrittenWithNothing() {
    std::filesystem::remove(farm_->dir.file("a/nextrange.txt"));
    std::filesystem::create_directory(farm_->dir.file("a/nextrange.txt"));
    QVERIFY(session_->refresh());
    settle();
    QVERIFY(!session_->model().Machines[0].QueueError.empty());
    QCOMPARE(write({{{}, {}}, {{kQueued}, {kEdited}}}).Failure, QString());
    QVERIFY(std::filesystem::is_directory(farm_->dir.file("a/nextrange.txt")));
    QCOMPARE(ReadFile(farm_->dir.file("b/nextrange.txt")), FormatQueuedRanges({kEdited}));
    QVERIFY(!session_->model().Machines[0].QueueError.empty());
  }

  // The queues are read off the session's thread, each as its file holds it.
  void queuesAreReadInTheBackground() {
    std::filesystem::remove(farm_->dir.file("b/nextrange.txt"));
    std::filesystem::create_directory(farm_->dir.file("b/nextrange.txt"));
    std::optional<std::vector<FarmSession::QueueReading>> readings;
    session_->readQueues([&](std::vector<FarmSession::QueueReading> read) { readings = read; });
    QVERIFY(!readings);
    QVERIFY(QTest::qWaitFor([&] { return readings.has_value(); }));
    QCOMPARE(readings->size(), size_t{2});
    QCOMPARE((*readings)[0].Ranges, std::vector<Range>{kQueued});
    QCOMPARE((*readings)[0].Error, QString());
    QVERIFY((*readings)[1].Ranges.empty());
    QVERIFY2((*readings)[1].Error.endsWith("b/nextrange.txt: Is a directory"),
             qPrintable((*readings)[1].Error));
  }

  // Readings of a table that was replaced meanwhile are never handed on.
  void queuesReadForAReplacedTableAreDropped() {
    bool handed = false;
    session_->readQueues([&](std::vector<FarmSession::QueueReading>) { handed = true; });
    QVERIFY(session_->replaceFarm(session_->model().Options, {session_->model().Machines[1]}));
    settle();
    QVERIFY(!handed);
  }

  // The client took its queued range while the user edited it: the edit
  // is left out and named, and the model holds what the file holds.
  void anEditOfARangeTheClientTookIsLeftOut() {
    const Range shortened{kQueued.Pmin, kQueued.Pmax - 1};
    farm_->dir.write("a/nextrange.txt", "");
    const FarmSession::QueueWriteOutcome outcome =
        write({{{kQueued}, {shortened}}, {{kQueued}, {kQueued, kEdited}}});
    QCOMPARE(outcome.Failure, QString());
    QCOMPARE(outcome.LeftOut, (std::vector<std::pair<int, Range>>{{0, shortened}}));
    QCOMPARE(outcome.Queues, (std::vector<std::vector<Range>>{{}, {kQueued, kEdited}}));
    QVERIFY(session_->model().Machines[0].QueuedRanges.empty());
    QCOMPARE(session_->model().Machines[1].QueuedRanges, (std::vector<Range>{kQueued, kEdited}));
    QCOMPARE(ReadFile(farm_->dir.file("a/nextrange.txt")), std::string());
  }

  // A file that cannot be written stops the whole change: the outcome
  // names it, and every queue stays as its file held it.
  void aWriteThatFailsChangesNoQueue() {
    std::filesystem::create_directory(farm_->dir.file("b/nextrange.txt.new"));
    const FarmSession::QueueWriteOutcome outcome =
        write({{{kQueued}, {kEdited}}, {{kQueued}, {kEdited}}});
    QCOMPARE(outcome.Failure, QString::fromStdString(farm_->dir.file("b/nextrange.txt.new") +
                                                     ": not a regular file"));
    QCOMPARE(outcome.Queues, (std::vector<std::vector<Range>>{{kQueued}, {kQueued}}));
    QCOMPARE(ReadFile(farm_->dir.file("a/nextrange.txt")), FormatQueuedRanges({kQueued}));
    QCOMPARE(session_->model().Machines[0].QueuedRanges, std::vector<Range>{kQueued});
  }

  // A change of the queue files cut short that cannot be finished is told.
  void aQueueChangeThatCannotBeFinishedIsTold() {
    const std::string record = QueueIntentPath(farm_->settingsPath);
    std::filesystem::create_directory(record);
    QSignalSpy problems(session_.get(), &FarmSession::problem);
    session_->finishQueueWrites();
    settle();
    QCOMPARE(problems.count(), 1);
    QCOMPARE(problems[0][0].toString(),
             QString::fromStdString("A change of the queued range files that was cut short could "
                                    "not be finished: " +
                                    record + ": Is a directory"));
  }

  // Refreshes asked for while a dialog edits the farm wait for it, and run
  // once when it closes.
  void refreshesAskedForWhileEditingRunOnceAfterwards() {
    QSignalSpy started(session_.get(), &FarmSession::refreshStarted);
    {
      const FarmSession::EditLock lock(*session_);
      for (int i = 0; i < 3; ++i) QVERIFY(session_->refresh());
      QVERIFY(!session_->refreshing());
      QCOMPARE(started.count(), 0);
    }
    QVERIFY(session_->refreshing());
    settle();
    QCOMPARE(started.count(), 1);
    QCOMPARE(session_->newFactorCount(), 4);
  }

  // A refresh asked for while one runs is dropped; the busy flag clears
  // however the refresh ends.
  void refreshAskedForWhileOneRunsIsDropped() {
    QSignalSpy started(session_.get(), &FarmSession::refreshStarted);
    QSignalSpy idle(&session_->runner(), &BackgroundRunner::becameIdle);
    QVERIFY(session_->refresh());
    QCOMPARE(session_->activity(), FarmSession::Activity::Refreshing);
    QVERIFY(!session_->refresh());
    settle();
    QCOMPARE(started.count(), 1);
    QCOMPARE(idle.count(), 1);
    QCOMPARE(session_->activity(), FarmSession::Activity::Idle);
  }

 private:
  void settle() {
    QVERIFY(QTest::qWaitFor([this] { return session_->runner().idle(); }));
  }

  // Writes the edits through the session and waits for the outcome.
  FarmSession::QueueWriteOutcome write(std::vector<FarmSession::QueueEdit> edits) {
    std::optional<FarmSession::QueueWriteOutcome> outcome;
    session_->writeQueues(std::move(edits),
                          [&](FarmSession::QueueWriteOutcome written) { outcome = written; });
    [&] { QVERIFY(QTest::qWaitFor([&] { return outcome.has_value(); })); }();
    return outcome.value_or(FarmSession::QueueWriteOutcome{"never written", {}, {}});
  }

  std::unique_ptr<TwoMachines> farm_;
  std::unique_ptr<FarmSession> session_;
};

QUILLSTRAND_QTEST_MAIN(FarmSessionTest)
#include "FarmSessionTest.moc"
