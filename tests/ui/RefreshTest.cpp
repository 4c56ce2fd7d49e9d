#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <memory>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "location/CurlFetcher.h"
#include "support/GateFetcher.h"
#include "support/HttpTestServer.h"
#include "support/QtTestClass.h"

using namespace std::chrono_literals;

namespace {

// Gives up on a silent host after `stall` where a real one would be given
// half a minute.
std::shared_ptr<const Fetcher> ImpatientFetcher(std::chrono::seconds stall = 1s) {
  FetchLimits limits;
  limits.connectTimeout = 1000ms;
  limits.stallTimeout = stall;
  return std::make_shared<CurlFetcher>(limits);
}

// A farm of `machines` whose files are served by `fetcher` under
// http://m<i>/, each with one new factor.
std::string ServedFarm(TestFarm& farm, GateFetcher& fetcher, int machines) {
  for (int i = 0; i < machines; ++i) {
    const std::string base = "http://m" + std::to_string(i) + "/";
    fetcher.serve(base + "QsvStatus.dat", StandardFarm::kStatus);
    fetcher.serve(base + "fact.txt", FactorLines({100000000003}));
    farm.addRemote("m" + std::to_string(i), base + "QsvStatus.dat", base + "fact.txt");
  }
  return farm.writeSettings();
}

}  // namespace

// The refresh reads on other threads: the window keeps answering.
class RefreshTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void refreshAskedForWhileOneRunsIsDropped() {
    auto fetcher = std::make_shared<GateFetcher>();
    TestFarm farm;
    const std::string settings = ServedFarm(farm, *fetcher, 3);
    fetcher->holdNext("http://m1/fact.txt");
    OpenWindow open(settings, prompter_, fetcher);
    QVERIFY(QTest::qWaitForWindowActive(&open.window));
    QTRY_COMPARE(fetcher->waiting(), 1);
    QTRY_COMPARE(open.find<QLabel>("refreshState")->text(), QString("Refreshing 2/3"));

    QTest::mouseClick(open.find<QPushButton>("refreshButton"), Qt::LeftButton);
    QTest::keyClick(&open.window, Qt::Key_F5);
    fetcher->release();
    QVERIFY(open.settle());

    for (const char* url : {"http://m0/QsvStatus.dat", "http://m1/fact.txt", "http://m2/fact.txt"})
      QCOMPARE(fetcher->fetchCount(url), 1);
    QCOMPARE(open.find<QLabel>("refreshState")->text(), QString());
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 3"));
  }

  void hangingHostLeavesTheWindowAnswering() {
    SilentServer silent;
    TestFarm farm;
    farm.addLocal("alpha", StandardFarm::kStatus, FactorLines({100000000003}));
    farm.addRemote("hanging", silent.url("/QsvStatus.dat"), silent.url("/fact.txt"));
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    // Long enough that the loop is sure to turn while the fetch waits.
    OpenWindow open(farm.writeSettings(), prompter_, ImpatientFetcher(3s));
    QTRY_VERIFY(ticks >= 3);
    // The readable machine and its factors show while the other is waited for.
    const QAbstractItemModel* shown = open.find<QTreeView>("machineList")->model();
    QTRY_COMPARE(shown->index(0, 1).data().toString(), QString("1"));
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 1"));
    QCOMPARE(shown->index(1, 0).data().toString(), QString("hanging"));
    QCOMPARE(shown->index(1, 1).data().toString(), QString("reading…"));
    const QString waiting = shown->index(1, 0).data(Qt::ToolTipRole).toString();
    QVERIFY2(waiting.startsWith("waiting for " + QString::fromStdString(silent.url("")).mid(7) +
                                " since "),
             qPrintable(waiting));
    QVERIFY(open.clickRow(0));  // and the window answers
    QTRY_COMPARE(open.paneText("allFactorsPane"),
                 QString::fromStdString(FactorLines({100000000003})));
    QVERIFY(open.session.refreshing());

    QTRY_VERIFY_WITH_TIMEOUT(!open.session.refreshing(), 10000);
    const QAbstractItemModel* rows = open.find<QTreeView>("machineList")->model();
    QCOMPARE(rows->rowCount(), 2);
    const QString toolTip = rows->index(1, 3).data(Qt::ToolTipRole).toString();
    QVERIFY2(toolTip.startsWith("status file: " + QString::fromStdString(silent.url(""))),
             qPrintable(toolTip));
    QVERIFY2(toolTip.contains("\nfactor file: "), qPrintable(toolTip));
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 1"));
    QVERIFY(open.settle());
  }

  void rowTellsWhyItsFilesCouldNotBeRead_data() {
    QTest::addColumn<QString>("statusPath");
    QTest::addColumn<QString>("factorPath");
    QTest::addColumn<QStringList>("lineStarts");
    const QString refused = QString("http://127.0.0.1:%1/").arg(UnusedPort());
    QTest::newRow("connection refused")
        << refused + "QsvStatus.dat" << refused + "fact.txt"
        << QStringList{"status file: " + refused + "QsvStatus.dat: ",
                       "factor file: " + refused + "fact.txt: "};
    QTest::newRow("missing files")
        << "/nonexistent/QsvStatus.dat"
        << "/nonexistent/fact.txt"
        << QStringList{"status file: /nonexistent/QsvStatus.dat: No such file or directory",
                       "factor file: /nonexistent/fact.txt: No such file or directory"};
    QTest::newRow("no location set")
        << ""
        << "" << QStringList{"status file: no location", "factor file: no location"};
  }
  void rowTellsWhyItsFilesCouldNotBeRead() {
    QFETCH(QString, statusPath);
    QFETCH(QString, factorPath);
    QFETCH(QStringList, lineStarts);
    TestFarm farm;
    farm.addLocal("readable", StandardFarm::kStatus, FactorLines({100000000003}));
    farm.addRemote("unreadable", statusPath.toStdString(), factorPath.toStdString());
    OpenWindow open(farm.writeSettings(), prompter_, ImpatientFetcher());
    QVERIFY(open.settle());
    const QAbstractItemModel* rows = open.find<QTreeView>("machineList")->model();
    // A readable row's tooltip tells its health alone.
    QCOMPARE(rows->index(0, 0).data(Qt::ToolTipRole).toString(),
             QString("range ends in 20d 20h; queue empty"));
    QCOMPARE(rows->index(1, 0).data().toString(), QString("unreadable"));
    const QStringList lines = rows->index(1, 5).data(Qt::ToolTipRole).toString().split('\n');
    QCOMPARE(lines.size(), lineStarts.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
      QVERIFY2(lines[i].startsWith(lineStarts[i]), qPrintable(lines[i]));
    QVERIFY(prompter_.shown().empty());
  }

  void enterRefreshesWhereverTheFocusIs_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    for (const char* focus : {"machineList", "allFactorsPane", "newFactorsPane", "refreshButton"})
      QTest::newRow(focus) << QString(focus) << int{Qt::Key_Return};
    QTest::newRow("keypad Enter in the list") << QString("machineList") << int{Qt::Key_Enter};
    QTest::newRow("F5 in a pane") << QString("newFactorsPane") << int{Qt::Key_F5};
  }
  void enterRefreshesWhereverTheFocusIs() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(QTest::qWaitForWindowActive(&open.window));
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(2));
    auto* target = open.find<QWidget>(focus.toLatin1());
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    QTest::keyClick(target, static_cast<Qt::Key>(key));
    QVERIFY(open.session.refreshing());
    QVERIFY(open.settle());
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 3"));  // gamma's, still selected
    QVERIFY(prompter_.shown().empty());
  }

  void closingDoesNotWaitForAHangingFetch() {
    auto fetcher = std::make_shared<GateFetcher>();
    const std::weak_ptr<GateFetcher> watch = fetcher;
    TestFarm farm;
    const std::string settings = ServedFarm(farm, *fetcher, 2);
    fetcher->holdNext("http://m0/QsvStatus.dat");
    auto open = std::make_unique<OpenWindow>(settings, prompter_, fetcher);
    QTRY_COMPARE(fetcher->waiting(), 1);

    open->window.close();
    QVERIFY(!open->window.isVisible());
    QCOMPARE(fetcher->waiting(), 1);
    open.reset();

    // The worker ends after the window and the session have gone; its
    // result must find nothing to touch.
    fetcher->release();
    fetcher.reset();
    QTRY_VERIFY(watch.expired());
    QCoreApplication::processEvents();
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(RefreshTest)
#include "RefreshTest.moc"
