#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <chrono>

#include "ModalDialogs.h"
#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "support/HttpTestServer.h"
#include "support/QtTestClass.h"

namespace {

using namespace std::chrono_literals;

// Opens the Options dialog, then the Machine dialog on the first machine,
// and runs `steps` there.
void InFirstMachine(OpenWindow& open, std::function<void(QDialog&)> steps) {
  WhenNextDialogOpens([steps = std::move(steps)](QDialog& options) mutable {
    auto* list = options.findChild<QTreeWidget*>("machineList");
    list->setCurrentItem(list->topLevelItem(0));
    WhenNextDialogOpens(std::move(steps));
    Click(options, "editButton");
  });
  Click(open.window, "optionsButton");
}

QLabel* TestResult(const QDialog& machine) { return machine.findChild<QLabel*>("testResult"); }

// Clicks Test with the locations given and waits for what it found.
QString Tested(QDialog& machine, const QString& status, const QString& factors) {
  machine.findChild<QLineEdit*>("statusPathBox")->setText(status);
  machine.findChild<QLineEdit*>("factorPathBox")->setText(factors);
  Click(machine, "testButton");
  const QString reading = TestResult(machine)->text();
  if (!QTest::qWaitFor([&] { return TestResult(machine)->text() != reading; }, 20000))
    return "still " + reading;
  return TestResult(machine)->text();
}

// `pattern` read literally, but for "{any}", which stands for any text.
QRegularExpression Literally(const QString& pattern) {
  QStringList parts = pattern.split("{any}");
  for (QString& part : parts) part = QRegularExpression::escape(part);
  return QRegularExpression("^" + parts.join(".*") + "$");
}

}  // namespace

// The Machine dialog's Test button: what it says it found, read in the
// background, and that it reaches nothing but its own label.
class MachineTestButtonTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  // Locations name "{farm}" (the farm's folder), "{site}" (a server of a
  // status file and a factor file) and "{dead}" (a port nobody listens on).
  void tellsWhatTheFilesHold_data() {
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("factors");
    QTest::addColumn<QString>("found");
    const QString alphaStatus = "{farm}/alpha/QsvStatus.dat";
    const QString alphaFactors = "{farm}/alpha/fact.txt";
    const QString alphaFound =
        "Status file: range 100000000000-200000000000, at 110000000000 (10% done), 50 kp/s\n"
        "Factor file: 4 factor lines, 2 of them new after the last submitted factor";
    QTest::newRow("local files") << alphaStatus << alphaFactors << alphaFound;
    QTest::newRow("over http") << "{site}/QsvStatus.dat"
                               << "{site}/fact.txt" << alphaFound;
    QTest::newRow("nobody listening")
        << "{dead}/QsvStatus.dat"
        << "{dead}/fact.txt"
        << "Status file: not read ({dead}/QsvStatus.dat: connection refused by {any})\n"
           "Factor file: not read ({dead}/fact.txt: connection refused by {any})";
    QTest::newRow("folders instead of files") << "{farm}/alpha"
                                              << "{farm}/alpha/"
                                              << "Status file: not read ({farm}/alpha: {any})\n"
                                                 "Factor file: not read ({farm}/alpha/: {any})";
    QTest::newRow("missing files") << "{farm}/alpha/QsvStatus.da"
                                   << "{farm}/fact.txt"
                                   << "Status file: not read ({farm}/alpha/QsvStatus.da: No "
                                      "such file or directory)\n"
                                      "Factor file: not read ({farm}/fact.txt: No such file or "
                                      "directory)";
    QTest::newRow("files swapped")
        << alphaFactors << alphaStatus
        << "Status file: read, but it names no range; is it a QsvStatus.dat?\n"
           "Factor file: no factor lines yet";
  }
  void tellsWhatTheFilesHold() {
    QFETCH(QString, status);
    QFETCH(QString, factors);
    QFETCH(QString, found);
    StandardFarm standard;
    HttpTestServer site;
    site.serve("/QsvStatus.dat", StandardFarm::kStatus);
    site.serve("/fact.txt",
               FactorLines({std::begin(StandardFarm::kAlpha), std::end(StandardFarm::kAlpha)}));
    const QString dead = QString("http://127.0.0.1:%1").arg(UnusedPort());
    const auto place = [&](QString text) {
      return text.replace("{farm}", QString::fromStdString(standard.farm.dir().path().string()))
          .replace("{site}", QString::fromStdString(site.url("")))
          .replace("{dead}", dead);
    };
    status = place(status);
    factors = place(factors);
    found = place(found);

    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    const Machine before = open.session.model().Machines[0];
    QString shown;
    InFirstMachine(open, [&](QDialog& machine) { shown = Tested(machine, status, factors); });
    QVERIFY2(Literally(found).match(shown).hasMatch(), qPrintable(shown));
    QVERIFY(open.settle());
    const Machine& after = open.session.model().Machines[0];
    QCOMPARE(after.StatusPath, before.StatusPath);
    QCOMPARE(after.TotalFactors, before.TotalFactors);
    QCOMPARE(after.StatusError, std::string());
    QCOMPARE(after.FactorError, std::string());
  }

  void onlyTheLatestTestIsShown() {
    StandardFarm standard;
    HttpTestServer site;
    // The first test is stopped by the second, and so ends first; the
    // second's status file takes a while.
    site.serve("/first/QsvStatus.dat", "pmax=5\n");
    site.delayAnswer("/first/QsvStatus.dat", 2s);
    site.serve("/second/QsvStatus.dat", StandardFarm::kStatus);
    site.delayAnswer("/second/QsvStatus.dat", 500ms);
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QString shown, later;
    InFirstMachine(open, [&](QDialog& machine) {
      const QString factors = machine.findChild<QLineEdit*>("factorPathBox")->text();
      machine.findChild<QLineEdit*>("statusPathBox")
          ->setText(QString::fromStdString(site.url("/first/QsvStatus.dat")));
      Click(machine, "testButton");
      shown = Tested(machine, QString::fromStdString(site.url("/second/QsvStatus.dat")), factors);
      QVERIFY(open.settle());
      later = TestResult(machine)->text();
    });
    QVERIFY2(shown.startsWith("Status file: range 100000000000-"), qPrintable(shown));
    QCOMPARE(later, shown);
  }

  void aResultAfterTheDialogClosedTouchesNothing() {
    StandardFarm standard;
    HttpTestServer slow;
    slow.serve("/QsvStatus.dat", StandardFarm::kStatus);
    slow.delayAnswer("/QsvStatus.dat", 300ms);
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    InFirstMachine(open, [&](QDialog& machine) {
      machine.findChild<QLineEdit*>("statusPathBox")
          ->setText(QString::fromStdString(slow.url("/QsvStatus.dat")));
      Click(machine, "testButton");
      Click(machine, "cancelButton");
    });
    // The Machine and Options dialogs are gone; the read ends afterwards.
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(open.settle());
    QCOMPARE(open.session.model().Machines[0].StatusPath,
             standard.farm.dir().file("alpha/QsvStatus.dat"));
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(MachineTestButtonTest)
#include "MachineTestButtonTest.moc"
