#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "model/SettingsFile.h"
#include "support/QtTestClass.h"
#include "support/SavedSettings.h"

namespace {

constexpr uint64_t kTrillion = 1'000'000'000'000;

// A range from `start` sieved 10^10 p into, or done.
std::string Status(uint64_t start, bool done = false) {
  return "pmax=" + std::to_string(start + kTrillion) + "\npmin=" + std::to_string(start) +
         " : 40 kp/s\npmin=" + std::to_string(start + 10'000'000'000) + " : 60 kp/s\n" +
         (done ? "Done\n" : "");
}

// Five machines, in table order: ranges at 9 × 10^14 and 10^15, whose texts
// sort the other way round; one whose files do not exist; one at 2 × 10^14;
// one done at 10^14. Each has a new factor of its own, just above its start.
struct OrderFarm {
  static constexpr uint64_t kStarts[] = {900 * kTrillion, 1000 * kTrillion, 0, 200 * kTrillion,
                                         100 * kTrillion};

  OrderFarm() {
    farm.addLocal("box10", Status(kStarts[0]), FactorLines({kStarts[0] + 1}));
    farm.addLocal("Box9", Status(kStarts[1]), FactorLines({kStarts[1] + 1}));
    farm.addRemote("gone", "/nonexistent/QsvStatus.dat", "/nonexistent/fact.txt");
    farm.addLocal("box2", Status(kStarts[3]), FactorLines({kStarts[3] + 1}));
    farm.addLocal("done", Status(kStarts[4], true), FactorLines({kStarts[4] + 1}));
    settingsPath = farm.writeSettings();
  }

  TestFarm farm;
  std::string settingsPath;
};

enum Column { kName = 0, kPmin = 2, kPmax = 3, kCurrentP = 4 };

QTreeView* List(const OpenWindow& open) { return open.find<QTreeView>("machineList"); }

// The machines' names as the list shows them, top to bottom.
QStringList Shown(const OpenWindow& open) {
  const QAbstractItemModel* rows = List(open)->model();
  QStringList names;
  for (int row = 0; row < rows->rowCount(); ++row) names << rows->index(row, 0).data().toString();
  return names;
}

void ClickHeader(const OpenWindow& open, int column) {
  QHeaderView* header = List(open)->header();
  const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                      header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
}

}  // namespace

// The machine list sorts by a column's values at a click on its header,
// shows the machines a filter finds, and remembers both; whatever the
// order, what acts on the selection acts on the machine selected.
class MachineListOrderTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  // Clicks on a header: rising, falling, then table order again. A machine
  // without values (never read) goes last both ways.
  void headerClicksSortRisingFallingThenInTableOrder_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("rising");
    QTest::addColumn<QStringList>("falling");
    QTest::newRow("Name, as people read numbers, in any case")
        << int{kName} << QStringList{"box2", "Box9", "box10", "done", "gone"}
        << QStringList{"gone", "done", "box10", "Box9", "box2"};
    QTest::newRow("pmin: 10^15 after 9 × 10^14")
        << int{kPmin} << QStringList{"done", "box2", "box10", "Box9", "gone"}
        << QStringList{"Box9", "box10", "box2", "done", "gone"};
    QTest::newRow("Current p: Done past every position")
        << int{kCurrentP} << QStringList{"box2", "box10", "Box9", "done", "gone"}
        << QStringList{"done", "Box9", "box10", "box2", "gone"};
  }
  void headerClicksSortRisingFallingThenInTableOrder() {
    QFETCH(int, column);
    QFETCH(QStringList, rising);
    QFETCH(QStringList, falling);
    OrderFarm order;
    OpenWindow open(order.settingsPath, prompter_);
    QVERIFY(open.settle());
    const QStringList table{"box10", "Box9", "gone", "box2", "done"};
    QCOMPARE(Shown(open), table);
    ClickHeader(open, column);
    QCOMPARE(Shown(open), rising);
    QCOMPARE(List(open)->header()->sortIndicatorSection(), column);
    ClickHeader(open, column);
    QCOMPARE(Shown(open), falling);
    QCOMPARE(List(open)->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    ClickHeader(open, column);
    QCOMPARE(Shown(open), table);
    QCOMPARE(List(open)->header()->sortIndicatorSection(), -1);
  }

  // The header's menu also goes back to table order.
  void tableOrderFromTheHeadersMenu() {
    OrderFarm order;
    OpenWindow open(order.settingsPath, prompter_);
    QVERIFY(open.settle());
    ClickHeader(open, kPmax);
    QVERIFY(Shown(open).constFirst() != "box10");
    List(open)->header()->findChild<QAction*>("tableOrder")->trigger();
    QCOMPARE(Shown(open), (QStringList{"box10", "Box9", "gone", "box2", "done"}));
  }

  void filterFindsMachinesByNameInAnyCase() {
    OrderFarm order;
    OpenWindow open(order.settingsPath, prompter_);
    QVERIFY(open.settle());
    auto* filter = open.find<QLineEdit>("machineFilter");
    QCOMPARE(filter->placeholderText(), QString("Filter machines"));
    filter->setText("BOX");
    QCOMPARE(Shown(open), (QStringList{"box10", "Box9", "box2"}));
    filter->setText("box1");
    QCOMPARE(Shown(open), QStringList{"box10"});
    filter->setText("nothing like it");
    QCOMPARE(Shown(open), QStringList{});
  }

  // Ctrl+F goes to the filter; Escape there clears it and leaves the
  // window open.
  void ctrlFFocusesTheFilterAndEscapeClearsIt() {
    OrderFarm order;
    OpenWindow open(order.settingsPath, prompter_);
    QVERIFY(open.settle());
    open.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&open.window));
    List(open)->setFocus();
    QTest::keyClick(&open.window, Qt::Key_F, Qt::ControlModifier);
    auto* filter = open.find<QLineEdit>("machineFilter");
    QVERIFY(filter->hasFocus());
    QTest::keyClicks(filter, "box1");
    QCOMPARE(Shown(open), QStringList{"box10"});
    QTest::keyClick(filter, Qt::Key_Escape);
    QCOMPARE(filter->text(), QString());
    QCOMPARE(Shown(open).size(), 5);
    QVERIFY(open.window.isVisible());
  }

  // The order and the filter are in the settings file at the next start,
  // and going back to table order and no filter replaces them there.
  void orderAndFilterAreRememberedAcrossARestart() {
    OrderFarm order;
    {
      OpenWindow open(order.settingsPath, prompter_);
      QVERIFY(open.settle());
      ClickHeader(open, kPmax);
      ClickHeader(open, kPmax);
      open.find<QLineEdit>("machineFilter")->setText("box");
      open.window.reject();
    }
    const WindowLayout saved = Saved(order.settingsPath).Options.Window;
    QCOMPARE(saved.SortColumn, std::optional<int32_t>(kPmax));
    QVERIFY(saved.SortDescending);
    QCOMPARE(saved.Filter, std::string("box"));
    {
      OpenWindow open(order.settingsPath, prompter_);
      QVERIFY(open.settle());
      QCOMPARE(Shown(open), (QStringList{"Box9", "box10", "box2"}));
      QCOMPARE(open.find<QLineEdit>("machineFilter")->text(), QString("box"));
      QCOMPARE(List(open)->header()->sortIndicatorOrder(), Qt::DescendingOrder);
      ClickHeader(open, kPmax);
      open.find<QLineEdit>("machineFilter")->clear();
      open.window.reject();
    }
    OpenWindow open(order.settingsPath, prompter_);
    QVERIFY(open.settle());
    QCOMPARE(Shown(open), (QStringList{"box10", "Box9", "gone", "box2", "done"}));
    QCOMPARE(Saved(order.settingsPath).Options.Window.SortColumn, std::nullopt);
  }

  // A column the list does not have, as a file of another version may
  // name, gives table order.
  void sortByAColumnThereIsNotGivesTableOrder() {
    OrderFarm order;
    Model model = Saved(order.settingsPath);
    model.Options.Window.SortColumn = 99;
    QVERIFY(SaveSettings(order.settingsPath, model));
    OpenWindow open(order.settingsPath, prompter_);
    QVERIFY(open.settle());
    QCOMPARE(Shown(open), (QStringList{"box10", "Box9", "gone", "box2", "done"}));
  }

  // The row shown first after sorting is the machine selected, and Copy
  // new copies its factors alone.
  void actionsAfterSortingActOnTheMachineShown() {
    OrderFarm order;
    OpenWindow open(order.settingsPath, prompter_);
    QVERIFY(open.settle());
    ClickHeader(open, kPmin);
    ClickHeader(open, kPmin);
    QCOMPARE(Shown(open).constFirst(), QString("Box9"));
    QVERIFY(open.clickMachine(0));
    QCOMPARE(open.session.selectedMachine(), std::optional<int>(1));
    QTest::mouseClick(open.find<QPushButton>("copyNewButton"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(),
             QString::fromStdString(FactorLines({OrderFarm::kStarts[1] + 1}, "\r\n")));
  }

  // Refreshes while the list is sorted and filtered keep the selected
  // machine selected where it shows; a filter that hides it drops it, and
  // the actions are the farm's again.
  void selectionLastsThroughRefreshesUntilTheFilterHidesIt() {
    OrderFarm order;
    OpenWindow open(order.settingsPath, prompter_);
    QVERIFY(open.settle());
    ClickHeader(open, kPmin);
    auto* filter = open.find<QLineEdit>("machineFilter");
    filter->setText("box");
    QCOMPARE(Shown(open), (QStringList{"box2", "box10", "Box9"}));
    QVERIFY(open.clickMachine(1));
    for (int refresh = 0; refresh < 2; ++refresh) {
      QVERIFY(open.session.refresh());
      QVERIFY(open.settle());
    }
    QCOMPARE(open.session.selectedMachine(), std::optional<int>(0));
    const QModelIndexList selected = List(open)->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected[0].data().toString(), QString("box10"));
    QCOMPARE(open.session.newFactorsScope(), QString("box10: 1 new factor"));

    filter->setText("box2");
    QVERIFY(open.settle());
    QCOMPARE(open.session.selectedMachine(), std::nullopt);
    QVERIFY(List(open)->selectionModel()->selectedRows().isEmpty());
    QVERIFY(open.session.newFactorsScope().startsWith("All 5 machines: "));
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(MachineListOrderTest)
#include "MachineListOrderTest.moc"
