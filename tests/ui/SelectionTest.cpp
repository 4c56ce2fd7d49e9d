#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "support/GateFetcher.h"
#include "support/QtTestClass.h"

// Selecting a machine narrows the factors on display to it, for as long as
// the machine is there.
class SelectionTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void selectingAMachineNarrowsPanesLabelAndMarks() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(2));
    const auto& gamma = StandardFarm::kGamma;
    QCOMPARE(open.paneText("allFactorsPane"),
             QString::fromStdString(FactorLines({std::begin(gamma), std::end(gamma)})));
    QCOMPARE(open.paneText("newFactorsPane"),
             QString::fromStdString(FactorLines({gamma[1], gamma[2], gamma[3]})));
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 3"));
    QCOMPARE(open.session.model().Marks, (NewFactorMarks{{2, gamma[3]}}));
  }

  void machineWithoutNewFactorsEmptiesTheNewPane() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(1));
    QCOMPARE(open.paneText("newFactorsPane"), QString());
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 0"));
    QVERIFY(open.session.model().Marks.empty());
  }

  // Taking the selection from the row (Ctrl+click) goes back to the farm:
  // a refresh shows every machine's new factors again.
  void deselectingShowsEveryMachineAgain() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    const QString all = open.paneText("newFactorsPane");
    const QString label = open.newFactorsLabel();
    const size_t marks = open.session.model().Marks.size();
    QVERIFY(open.clickMachine(2));
    QVERIFY(open.paneText("newFactorsPane") != all);
    open.find<QTreeView>("machineList")->clearSelection();
    QVERIFY(open.settle());
    QCOMPARE(selectedRows(open), QList<int>{});
    QCOMPARE(open.paneText("newFactorsPane"), all);
    QCOMPARE(open.newFactorsLabel(), label);
    QCOMPARE(open.session.model().Marks.size(), marks);
    QVERIFY(open.session.newFactorsScope().startsWith("All "));
  }

  // Refreshes land while a machine is selected, one of them after it found
  // another factor: the list, the panes and the chart stay on it, and Copy
  // new and Mark as old act on its factors alone.
  void selectionLastsThroughRefreshes() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(2));
    const auto& gamma = StandardFarm::kGamma;
    const uint64_t found = 140000000053;
    for (int refresh = 0; refresh < 3; ++refresh) {
      if (refresh == 1)
        standard.farm.dir().write("gamma/fact.txt",
                                  FactorLines({gamma[0], gamma[1], gamma[2], gamma[3], found}));
      QVERIFY(open.session.refresh());
      QVERIFY(open.settle());
    }
    const std::vector<uint64_t> fresh{gamma[1], gamma[2], gamma[3], found};
    QCOMPARE(selectedRows(open), QList<int>{2});
    QCOMPARE(open.paneText("newFactorsPane"), QString::fromStdString(FactorLines(fresh)));
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 4"));
    QVERIFY(open.find<QLabel>("farmSummary")->text().contains("; 4 new factors;"));
    QCOMPARE(open.session.chart().machine, QString("gamma"));

    QTest::mouseClick(open.find<QPushButton>("copyNewButton"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(FactorLines(fresh, "\r\n")));
    prompter_.setNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(open.find<QPushButton>("markAsOldButton"), Qt::LeftButton);
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QVERIFY(prompter_.shown()[0].text.endsWith("\n\ngamma: 4 new factors"));
    const MachineTable& machines = open.session.model().Machines;
    QCOMPARE(machines[0].LastOldFactor, StandardFarm::kAlpha[1]);
    QCOMPARE(machines[1].LastOldFactor, StandardFarm::kBeta[1]);
    QCOMPARE(machines[2].LastOldFactor, found);
  }

  // A new table keeps the selected machine marked where it is now, and its
  // factors on display after the refresh; without it, nothing is selected.
  void newTableKeepsTheSelectionOfAMachineStillThere_data() {
    QTest::addColumn<bool>("kept");
    QTest::newRow("gamma moves up") << true;
    QTest::newRow("gamma removed") << false;
  }
  void newTableKeepsTheSelectionOfAMachineStillThere() {
    QFETCH(bool, kept);
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(2));
    const MachineTable& machines = open.session.model().Machines;
    const MachineTable table{machines[kept ? 1 : 0], machines[kept ? 2 : 1]};
    QVERIFY(open.session.replaceFarm(open.session.model().Options, table));
    QVERIFY(open.session.refresh());
    QVERIFY(open.settle());
    QCOMPARE(selectedRows(open), kept ? QList<int>{1} : QList<int>{});
    QCOMPARE(open.newFactorsLabel(), QString(kept ? "New factors: 3" : "New factors: 2"));
    QCOMPARE(open.session.newFactorsScope(),
             QString(kept ? "gamma: 3 new factors" : "All 2 machines: 2 new factors"));
  }

  // While a refresh is under way, the machines read before the selected
  // one must not take the panes back to every machine's factors.
  void refreshUnderWayLeavesTheSelectionOnDisplay() {
    auto fetcher = std::make_shared<GateFetcher>();
    TestFarm farm;
    AddHttpMachines(farm, *fetcher);
    OpenWindow open(farm.writeSettings(), prompter_, fetcher);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(1));
    fetcher->holdNext("http://m1/QsvStatus.dat");
    QVERIFY(open.session.refresh());
    QTRY_VERIFY(!open.session.machineRow(0).waiting);
    QCoreApplication::processEvents();
    QVERIFY(open.session.refreshing());
    QCOMPARE(open.paneText("newFactorsPane"), QString::fromStdString(FactorLines({101})));
    QCOMPARE(open.session.newFactorsScope(), QString("m1: 1 new factor"));
    fetcher->release();
    QVERIFY(open.settle());
  }

  // What the actions act on, as their questions and the buttons' tooltips
  // name it: the selected machine's new factors, or every machine's.
  void actionsNameTheirScope_data() {
    QTest::addColumn<QList<int>>("newFactors");  // of each machine
    QTest::addColumn<int>("selected");           // -1: none
    QTest::addColumn<QString>("scope");
    const QList<int> two{1, 2};
    QTest::newRow("no selection") << two << -1 << "All 2 machines: 3 new factors";
    QTest::newRow("one machine, one factor") << two << 0 << "m0: 1 new factor";
    QTest::newRow("one machine, factors") << two << 1 << "m1: 2 new factors";
    QTest::newRow("the only machine") << QList<int>{1} << -1 << "m0: 1 new factor";
  }
  void actionsNameTheirScope() {
    QFETCH(QList<int>, newFactors);
    QFETCH(int, selected);
    QFETCH(QString, scope);
    TestFarm farm;
    for (qsizetype machine = 0; machine < newFactors.size(); ++machine) {
      std::vector<uint64_t> ps{100000000001};  // the old one
      for (int k = 1; k <= newFactors[machine]; ++k) ps.push_back(ps.back() + 2);
      farm.addLocal("m" + std::to_string(machine), StandardFarm::kStatus, FactorLines(ps), ps[0]);
    }
    OpenWindow open(farm.writeSettings(), prompter_);
    QVERIFY(open.settle());
    if (selected >= 0) QVERIFY(open.clickMachine(selected));
    for (const char* button : {"submitButton", "copyNewButton", "markAsOldButton"})
      QVERIFY2(open.find<QPushButton>(button)->toolTip().endsWith('\n' + scope), button);
    prompter_.setNextAnswer(QMessageBox::No);
    QTest::mouseClick(open.find<QPushButton>("markAsOldButton"), Qt::LeftButton);
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].text,
             "Are you sure you want to mark the new factors as old?\n\n" + scope);
  }

  // A selection whose factor file comes in after a newer read was applied
  // must not replace it; a refresh meanwhile reads the selection again.
  void lateSelectionIsDropped_data() {
    QTest::addColumn<bool>("refreshFirst");
    QTest::newRow("a refresh applied meanwhile") << true;
    QTest::newRow("another machine selected meanwhile") << false;
  }
  void lateSelectionIsDropped() {
    QFETCH(bool, refreshFirst);
    auto fetcher = std::make_shared<GateFetcher>();
    TestFarm farm;
    AddHttpMachines(farm, *fetcher);
    OpenWindow open(farm.writeSettings(), prompter_, fetcher);
    QVERIFY(open.settle());
    fetcher->holdNext("http://m0/fact.txt");
    QVERIFY(open.clickRow(0));
    QTRY_COMPARE(fetcher->waiting(), 1);
    const QString expected = QString::fromStdString(FactorLines({refreshFirst ? 100u : 101u}));
    if (refreshFirst)
      QVERIFY(open.session.refresh());
    else
      QVERIFY(open.clickRow(1));
    QTRY_COMPARE(open.paneText("allFactorsPane"), expected);
    fetcher->release();
    QVERIFY(open.settle());
    QCOMPARE(open.paneText("allFactorsPane"), expected);
  }

 private:
  // Machines m0 and m1 read over http, with factor 100 and 101 each.
  static void AddHttpMachines(TestFarm& farm, GateFetcher& fetcher) {
    for (const uint64_t machine : {0, 1}) {
      const std::string name = "m" + std::to_string(machine);
      const std::string base = "http://" + name + "/";
      fetcher.serve(base + "fact.txt", FactorLines({100 + machine}));
      farm.addRemote(name, base + "QsvStatus.dat", base + "fact.txt");
    }
  }

  static QList<int> selectedRows(const OpenWindow& open) {
    QList<int> rows;
    for (const QModelIndex& index :
         open.find<QTreeView>("machineList")->selectionModel()->selectedRows())
      rows << index.row();
    return rows;
  }

  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(SelectionTest)
#include "SelectionTest.moc"
