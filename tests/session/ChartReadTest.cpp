#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <optional>
#include <string>

#include "model/SettingsFile.h"
#include "session/FarmSession.h"
#include "support/GateFetcher.h"
#include "support/QtTestClass.h"
#include "support/TempDir.h"

namespace {

std::string StatusUrl(int machine) {
  return "http://m" + std::to_string(machine) + "/QsvStatus.dat";
}
std::string FactorUrl(int machine) { return "http://m" + std::to_string(machine) + "/fact.txt"; }

// Machine i sieves from (i + 1) * 100 to (i + 2) * 100 with reports at its
// start and 10 on; its factor file has one factor in the range, one before.
std::string StatusText(int machine, uint32_t rate = 40) {
  const int start = (machine + 1) * 100;
  return "pmax=" + std::to_string(start + 100) + "\npmin=" + std::to_string(start) +
         " : 30\npmin=" + std::to_string(start + 10) + " : " + std::to_string(rate) + "\n";
}
std::string Factors(int machine) {
  const int start = (machine + 1) * 100;
  return std::to_string(start - 1) + " | x\n" + std::to_string(start + 5) + " | y\n";
}

}  // namespace

// The speed chart of the selected machine is read in the background, only
// while it is shown, and only the latest read is applied.
class ChartReadTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fetcher_ = std::make_shared<GateFetcher>();
    Model configured;
    for (int machine : {0, 1}) {
      fetcher_->serve(StatusUrl(machine), StatusText(machine));
      fetcher_->serve(FactorUrl(machine), Factors(machine));
      configured.Machines.emplace_back("m" + std::to_string(machine), FactorUrl(machine),
                                       StatusUrl(machine), 0);
    }
    session_ = std::make_unique<FarmSession>(
        dir_.write("quillstrand.ini", SaveSettingsText("", configured)), fetcher_);
    QVERIFY(session_->loadSettings());
  }
  void cleanup() { session_.reset(); }

  void shownChartOfTheSelectedMachineHasItsReportsAndFactors() {
    session_->setChartShown(true);
    session_->selectMachine(1);
    settle();
    const SpeedChartData& chart = session_->chart();
    QCOMPARE(chart.machine, QString("m1"));
    QVERIFY(chart.problem.isEmpty());
    QCOMPARE(chart.profile.RangeStart, uint64_t{200});
    QCOMPARE(chart.profile.Pmax, uint64_t{300});
    QCOMPARE(chart.profile.Points, (std::vector<SpeedPoint>{{200, 30}, {210, 40}}));
    QCOMPARE(chart.profile.Factors, std::vector<uint64_t>{205});
    // The factor file the selection read served the chart too.
    QCOMPARE(fetcher_->fetchCount(FactorUrl(1)), 1);
  }

  void hiddenChartReadsNothingUntilItShows() {
    QSignalSpy changed(session_.get(), &FarmSession::chartChanged);
    session_->selectMachine(0);
    settle();
    QCOMPARE(fetcher_->fetchCount(StatusUrl(0)), 0);
    QCOMPARE(changed.count(), 0);
    session_->setChartShown(true);
    settle();
    QCOMPARE(session_->chart().machine, QString("m0"));
    QCOMPARE(session_->chart().profile.Points.size(), size_t{2});
    // Hidden and shown again with nothing newer: nothing to read.
    session_->setChartShown(false);
    session_->setChartShown(true);
    settle();
    QCOMPARE(fetcher_->fetchCount(StatusUrl(0)), 1);
  }

  void eachRefreshReadsTheShownChartAgain() {
    session_->setChartShown(true);
    session_->selectMachine(0);
    settle();
    fetcher_->serve(StatusUrl(0), StatusText(0, 55));
    QVERIFY(session_->refresh());
    settle();
    QCOMPARE(session_->chart().machine, QString("m0"));
    QCOMPARE(session_->chart().profile.Points.back(), (SpeedPoint{110, 55}));
  }

  void refreshWhileHiddenIsReadWhenTheChartShows() {
    session_->setChartShown(true);
    session_->selectMachine(0);
    settle();
    session_->setChartShown(false);
    fetcher_->serve(StatusUrl(0), StatusText(0, 55));
    QVERIFY(session_->refresh());
    settle();
    QCOMPARE(fetcher_->fetchCount(StatusUrl(0)), 2);  // the selection's and the refresh's
    QCOMPARE(session_->chart().profile.Points.back(), (SpeedPoint{110, 40}));
    session_->setChartShown(true);
    settle();
    QCOMPARE(session_->chart().profile.Points.back(), (SpeedPoint{110, 55}));
  }

  // A chart that comes in after a newer selection must not replace it.
  void olderSelectionsChartIsDropped() {
    session_->setChartShown(true);
    fetcher_->holdNext(StatusUrl(0));
    session_->selectMachine(0);
    QTRY_COMPARE(fetcher_->waiting(), 1);
    session_->selectMachine(1);
    fetcher_->release();
    settle();
    QCOMPARE(session_->chart().machine, QString("m1"));
    QCOMPARE(session_->chart().profile.RangeStart, uint64_t{200});
  }

  void unreadableStatusFileSaysWhy() {
    session_->setChartShown(true);
    QVERIFY(
        session_->replaceFarm(session_->model().Options,
                              {Machine("gone", FactorUrl(0), "http://nowhere/QsvStatus.dat", 0)}));
    session_->selectMachine(0);
    settle();
    QCOMPARE(session_->chart().machine, QString("gone"));
    QVERIFY(session_->chart().profile.empty());
    QVERIFY(session_->chart().problem.startsWith("status file: "));
  }

  // A new table keeps the selection, and so the chart, of a machine it
  // still holds, wherever it moved, renamed or not; of one it lost, neither.
  void newTableKeepsOnlyAMachineStillThere_data() {
    QTest::addColumn<bool>("kept");
    QTest::newRow("still there, moved and renamed") << true;
    QTest::newRow("removed") << false;
  }
  void newTableKeepsOnlyAMachineStillThere() {
    QFETCH(bool, kept);
    session_->setChartShown(true);
    session_->selectMachine(0);
    settle();
    MachineTable machines{session_->model().Machines[1]};
    if (kept) machines.emplace_back("renamed", FactorUrl(0), StatusUrl(0), 0);
    QVERIFY(session_->replaceFarm(session_->model().Options, machines));
    QVERIFY(session_->chart().machine.isEmpty());
    QCOMPARE(session_->selectedMachine(), kept ? std::optional<int>(1) : std::nullopt);
    QVERIFY(session_->refresh());
    settle();
    QCOMPARE(session_->chart().machine, kept ? QString("renamed") : QString());
    QCOMPARE(session_->model().AllFactorsText.empty(), !kept);
  }

 private:
  void settle() {
    QVERIFY(QTest::qWaitFor([this] { return session_->runner().idle(); }));
  }

  TempDir dir_;
  std::shared_ptr<GateFetcher> fetcher_;
  std::unique_ptr<FarmSession> session_;
};

QUILLSTRAND_QTEST_MAIN(ChartReadTest)
#include "ChartReadTest.moc"
