#include <QTest>
#include <QTreeView>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "support/GateFetcher.h"
#include "support/QtTestClass.h"

// Selecting a machine narrows the factors on display to it.
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

  void losingTheSelectionChangesNothing() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(2));
    const QString all = open.paneText("allFactorsPane");
    open.find<QTreeView>("machineList")->clearSelection();
    QVERIFY(open.settle());
    QCOMPARE(open.paneText("allFactorsPane"), all);
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 3"));
    QCOMPARE(open.session.model().Marks.size(), size_t{1});
  }

  void refreshForgetsTheSelection() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(2));
    QVERIFY(open.session.refresh());
    QVERIFY(open.settle());
    QVERIFY(!open.find<QTreeView>("machineList")->selectionModel()->hasSelection());
    QCOMPARE(open.paneText("allFactorsPane"), QString());
    QCOMPARE(open.paneText("newFactorsPane"), StandardFarm::NewFactorsShown());
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 5"));
  }

  // A selection whose factor file comes in after a newer view was applied
  // must not replace that view.
  void lateSelectionIsDropped_data() {
    QTest::addColumn<bool>("refreshFirst");
    QTest::newRow("a refresh applied meanwhile") << true;
    QTest::newRow("another machine selected meanwhile") << false;
  }
  void lateSelectionIsDropped() {
    QFETCH(bool, refreshFirst);
    auto fetcher = std::make_shared<GateFetcher>();
    TestFarm farm;
    for (const uint64_t machine : {0, 1}) {
      const std::string name = "m" + std::to_string(machine);
      const std::string base = "http://" + name + "/";
      fetcher->serve(base + "fact.txt", FactorLines({100 + machine}));
      farm.addRemote(name, base + "QsvStatus.dat", base + "fact.txt");
    }
    OpenWindow open(farm.writeSettings(), prompter_, fetcher);
    QVERIFY(open.settle());
    fetcher->holdNext("http://m0/fact.txt");
    QVERIFY(open.clickRow(0));
    QTRY_COMPARE(fetcher->waiting(), 1);
    QString expected;
    if (refreshFirst) {
      QVERIFY(open.session.refresh());
      QTRY_VERIFY(!open.session.refreshing());
    } else {
      QVERIFY(open.clickRow(1));
      expected = QString::fromStdString(FactorLines({101}));
      QTRY_COMPARE(open.paneText("allFactorsPane"), expected);
    }
    fetcher->release();
    QVERIFY(open.settle());
    QCOMPARE(open.paneText("allFactorsPane"), expected);
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(SelectionTest)
#include "SelectionTest.moc"
