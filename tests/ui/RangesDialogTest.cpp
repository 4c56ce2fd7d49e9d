#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "ScriptedPrompter.h"
#include "SieveClientFiles.h"
#include "WindowFixture.h"
#include "model/FileLock.h"
#include "ranges/QueueWrites.h"
#include "support/GateFetcher.h"
#include "support/QtTestClass.h"
#include "ui/CNextrangesDlg.h"

namespace {

using namespace std::chrono_literals;

// A client at the end of its range that went at 100 kp/s: no current work.
constexpr char kIdleStatus[] = "pmax=200000000000\npmin=200000000000 : 100 kp/s\n";
// A client that has not reported a rate yet.
constexpr char kSilentStatus[] = "pmax=200000000000\n";
constexpr char kAlphaQueue[] =
    "pmin=1500000000123\npmax=1510000000000\npmin=1600000000000\npmax=1610000000000\n";
constexpr char kWebStatus[] = "http://web/QsvStatus.dat";

// Two machines with queue files beside their status files (beta's only when
// it is given one) and a third read over http, which has none.
struct RangesFarm {
  explicit RangesFarm(const std::string& alphaQueue = kAlphaQueue,
                      const std::string& betaQueue = "", const char* status = kIdleStatus) {
    farm.addLocal("alpha", status, "");
    farm.addLocal("beta", status, "");
    farm.addRemote("web", kWebStatus, "http://web/fact.txt");
    fetcher->serve(kWebStatus, kIdleStatus);
    fetcher->serve("http://web/fact.txt", "");
    farm.dir().write("alpha/nextrange.txt", alphaQueue);
    if (!betaQueue.empty()) farm.dir().write("beta/nextrange.txt", betaQueue);
    settingsPath = farm.writeSettings();
  }

  std::string queuePath(const char* machine) const {
    return farm.dir().file(std::string(machine) + "/nextrange.txt");
  }
  std::string queue(const char* machine) const { return ReadFile(queuePath(machine)); }

  TestFarm farm;
  std::shared_ptr<GateFetcher> fetcher = std::make_shared<GateFetcher>();
  std::string settingsPath;
};

QTreeWidget* List(QWidget& dialog, const char* name) {
  return dialog.findChild<QTreeWidget*>(name);
}

void Click(QWidget& dialog, const char* button) {
  QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
}

void ClickRow(QWidget& dialog, const char* list, int row) {
  QTreeWidget* tree = List(dialog, list);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                    tree->visualItemRect(tree->topLevelItem(row)).center());
}

int SelectedRow(QWidget& dialog, const char* list) {
  QTreeWidget* tree = List(dialog, list);
  const QList<QTreeWidgetItem*> selected = tree->selectedItems();
  return selected.isEmpty() ? -1 : tree->indexOfTopLevelItem(selected.constFirst());
}

// Each row of a list as its texts joined by " | ", " (bold)" after a row
// shown in bold and its first cell's tool tip in brackets.
QStringList Rows(QWidget& dialog, const char* list) {
  QTreeWidget* tree = List(dialog, list);
  QStringList rows;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = tree->topLevelItem(i);
    QStringList texts;
    for (int column = 0; column < item->columnCount(); ++column) texts << item->text(column);
    QString row = texts.join(" | ") + (item->font(0).bold() ? " (bold)" : "");
    if (!item->toolTip(0).isEmpty()) row += " [" + item->toolTip(0) + "]";
    rows << row;
  }
  return rows;
}

// Clicks `button` and waits until what it began has ended: the dialog is
// back at its edits, or gone.
void ClickAndWait(QDialog& dialog, const char* button) {
  Click(dialog, button);
  QTRY_VERIFY(!dialog.isVisible() || dialog.findChild<QPushButton*>("okButton")->isEnabled());
}

bool ShowsReading(QWidget& dialog) {
  return Rows(dialog, "machineList").join('\n').contains("reading…");
}

QString QueueLabel(QWidget& dialog) { return dialog.findChild<QLabel*>("queueLabel")->text(); }

// Runs `steps` on the dialog that is about to be run modally, once it
// shows, and leaves it with Cancel if the steps did not close it, so that a
// failing step cannot leave the test waiting on the dialog.
void WhenNextDialogOpens(std::function<void(QDialog&)> steps) {
  QTimer::singleShot(0, [steps = std::move(steps)] {
    QPointer<QDialog> dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    steps(*dialog);
    if (dialog && dialog->isVisible()) dialog->reject();
  });
}

// What a Range dialog showed and did with what was typed into it.
struct RangeEntry {
  QString shownFrom;
  QString shownTo;
  bool stayedOpen = false;
};

// In the Range dialog that the next click opens: notes its texts, types
// `from` and `to` and presses OK, or presses Cancel for a null `from`; a
// dialog that stays open after OK is left with Cancel.
void EnterNextRange(RangeEntry& entry, const QString& from, const QString& to) {
  WhenNextDialogOpens([&entry, from, to](QDialog& range) {
    QCOMPARE(range.windowTitle(), QString("Range"));
    auto* fromEdit = range.findChild<QLineEdit*>("fromEdit");
    auto* toEdit = range.findChild<QLineEdit*>("toEdit");
    entry.shownFrom = fromEdit->text();
    entry.shownTo = toEdit->text();
    if (from.isNull()) return Click(range, "cancelButton");
    fromEdit->setText(from);
    toEdit->setText(to);
    Click(range, "okButton");
    entry.stayedOpen = range.isVisible();
  });
}

}  // namespace

// The Manage ranges and Range dialogs, opened from the main window.
class RangesDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  // The queue files as they are now, not the window's older reading.
  void opensOnTheQueueFilesAndShowsTheSelectedMachinesQueue() {
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());
    ranges.farm.dir().write("beta/nextrange.txt", "pmin=2000000000000\npmax=2010000000000\n");

    runRanges(open, [](QDialog& dialog) {
      QCOMPARE(dialog.windowTitle(), QString("Manage ranges"));
      QCOMPARE(Rows(dialog, "machineList"),
               QStringList({"alpha | 20 G in 2 ranges | 20 G in 2 ranges",
                            "beta | 10 G in 1 range | 10 G in 1 range", "web | empty | no file"}));
      // The first machine, as none is selected in the window.
      QCOMPARE(SelectedRow(dialog, "machineList"), 0);
      QCOMPARE(QueueLabel(dialog), QString("Queued ranges for alpha"));
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"1500 | 1510", "1600 | 1610"}));
      ClickRow(dialog, "machineList", 1);
      QCOMPARE(QueueLabel(dialog), QString("Queued ranges for beta"));
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"2000 | 2010"}));
      ClickRow(dialog, "machineList", 2);
      QCOMPARE(QueueLabel(dialog), QString("Queued ranges for web"));
      QVERIFY(Rows(dialog, "rangeList").isEmpty());
      Click(dialog, "cancelButton");
    });
    QVERIFY(prompter_.shown().empty());
  }

  // The dialog opens on the machine selected in the window, else on the
  // first, current and selected: New needs no click first, and the keyboard
  // moves on from it.
  void opensOnTheWindowsMachine_data() {
    QTest::addColumn<int>("inWindow");  // -1: none
    QTest::addColumn<int>("selected");
    QTest::newRow("none") << -1 << 0;
    QTest::newRow("beta") << 1 << 1;
  }
  void opensOnTheWindowsMachine() {
    QFETCH(int, inWindow);
    QFETCH(int, selected);
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());
    if (inWindow >= 0) QVERIFY(open.clickRow(inWindow));
    runRanges(open, [&](QDialog& dialog) {
      QCOMPARE(SelectedRow(dialog, "machineList"), selected);
      QTest::keyClick(List(dialog, "machineList"), Qt::Key_Down);
      QCOMPARE(SelectedRow(dialog, "machineList"), selected + 1);
    });
    QVERIFY(prompter_.shown().empty());
  }

  void aFarmOfOneMachineTakesNewAtOnce() {
    TestFarm farm;
    farm.addLocal("solo", kIdleStatus, "");
    OpenWindow open(farm.writeSettings(), prompter_);
    QVERIFY(open.settle());
    runRanges(open, [&](QDialog& dialog) {
      QTest::keyClick(List(dialog, "machineList"), Qt::Key_Down);
      QCOMPARE(SelectedRow(dialog, "machineList"), 0);
      RangeEntry entry;
      EnterNextRange(entry, "300", "310");
      Click(dialog, "newButton");
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"300 | 310 (bold)"}));  // not yet written
    });
    QVERIFY(prompter_.shown().empty());
  }

  void newEditAndDeleteCheckTheSelectionFirst_data() {
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<int>("machine");
    QTest::addColumn<QString>("message");
    const QString noMachine = "Select a machine first.";
    const QString http = "You can't manage ranges for http based locations.";
    const QString noRange = "There is no range selected.";
    for (const QByteArray button : {"newButton", "editButton", "deleteButton"}) {
      QTest::addRow("%s, no machine", button.data()) << button << -1 << noMachine;
      QTest::addRow("%s, http machine", button.data()) << button << 2 << http;
    }
    QTest::newRow("editButton, no range") << QByteArray("editButton") << 0 << noRange;
    QTest::newRow("deleteButton, no range") << QByteArray("deleteButton") << 0 << noRange;
  }
  void newEditAndDeleteCheckTheSelectionFirst() {
    QFETCH(QByteArray, button);
    QFETCH(int, machine);
    QFETCH(QString, message);
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    runRanges(open, [&](QDialog& dialog) {
      if (machine >= 0)
        ClickRow(dialog, "machineList", machine);
      else
        List(dialog, "machineList")->clearSelection();
      const QStringList before = Rows(dialog, "rangeList");
      Click(dialog, button.constData());
      QCOMPARE(QApplication::activeModalWidget(),
               static_cast<QWidget*>(&dialog));  // no Range dialog
      QCOMPARE(Rows(dialog, "rangeList"), before);
      ClickAndWait(dialog, "okButton");
    });
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].caption, QString("quillstrand"));
    QCOMPARE(prompter_.shown()[0].text, message);
    QCOMPARE(prompter_.shown()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(ranges.queue("alpha"), std::string(kAlphaQueue));
  }

  // Alpha's first range is 1500000000123 to 1510000000000.
  void rangeDialogTakesWholeBillionsFromZeroUp_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("message");  // empty when accepted
    QTest::addColumn<QString>("row");
    QTest::addColumn<std::string>("file");
    const QString unchangedRow = "1500 | 1510";
    const std::string unchanged = kAlphaQueue;
    const std::string second = "pmin=1600000000000\npmax=1610000000000\n";
    const QString tooLarge = "pmin and pmax must be whole numbers of billions up to 18446744073";
    QTest::newRow("Cancel") << QString() << QString() << QString() << unchangedRow << unchanged;
    QTest::newRow("above") << "1510"
                           << "1500"
                           << "pmin <= pmax" << unchangedRow << unchanged;
    QTest::newRow("from 0") << "0"
                            << "1500"
                            << "pmin = 0" << unchangedRow << unchanged;
    QTest::newRow("empty") << ""
                           << ""
                           << "pmin = 0" << unchangedRow << unchanged;
    QTest::newRow("no digits") << "abc"
                               << "1500"
                               << "pmin = 0" << unchangedRow << unchanged;
    QTest::newRow("too large") << "1"
                               << "18446744074" << tooLarge << unchangedRow << unchanged;
    QTest::newRow("minus") << "-5"
                           << "1500" << tooLarge << unchangedRow << unchanged;
    QTest::newRow("plus") << "5"
                          << "+1500" << tooLarge << unchangedRow << unchanged;
    // Written back in whole billions: a range of no length is not stored.
    QTest::newRow("equal") << "1500"
                           << "1500" << QString() << "1500 | 1500 (bold)" << second;
    QTest::newRow("normal form") << "  0012abc"
                                 << "020" << QString() << "12 | 20 (bold)"
                                 << "pmin=12000000000\npmax=20000000000\n" + second;
    QTest::newRow("largest") << "18446744073"
                             << "18446744073" << QString() << "18446744073 | 18446744073 (bold)"
                             << second;
    QTest::newRow("unchanged, in whole billions")
        << "1500"
        << "1510" << QString() << "1500 | 1510 (bold)"
        << "pmin=1500000000000\npmax=1510000000000\n" + second;
  }
  void rangeDialogTakesWholeBillionsFromZeroUp() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, message);
    QFETCH(QString, row);
    QFETCH(std::string, file);
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    RangeEntry entry;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      ClickRow(dialog, "rangeList", 0);
      EnterNextRange(entry, from, to);
      Click(dialog, "editButton");
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({row, "1600 | 1610"}));
      ClickAndWait(dialog, "okButton");
    });
    QCOMPARE(entry.shownFrom, QString("1500"));
    QCOMPARE(entry.shownTo, QString("1510"));
    QCOMPARE(entry.stayedOpen, !message.isEmpty());
    if (message.isEmpty()) {
      QVERIFY(prompter_.shown().empty());
    } else {
      QCOMPARE(prompter_.shown().size(), size_t{1});
      QCOMPARE(prompter_.shown()[0].caption, QString("Error"));
      QCOMPARE(prompter_.shown()[0].text, message);
    }
    QCOMPARE(ranges.queue("alpha"), file);
  }

  // The range joins the queue with OK only: a Cancel leaves nothing.
  void newAddsARangeOnlyWithOk_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<std::string>("file");
    QTest::newRow("OK") << "1700"
                        << QStringList({"1500 | 1510", "1600 | 1610", "1700 | 1710 (bold)"}) << 2
                        << "alpha | 30 G in 3 ranges | 20 G in 2 ranges (bold)"
                        << std::string(kAlphaQueue) + "pmin=1700000000000\npmax=1710000000000\n";
    QTest::newRow("Cancel") << QString() << QStringList({"1500 | 1510", "1600 | 1610"}) << -1
                            << "alpha | 20 G in 2 ranges | 20 G in 2 ranges"
                            << std::string(kAlphaQueue);
  }
  void newAddsARangeOnlyWithOk() {
    QFETCH(QString, from);
    QFETCH(QStringList, rows);
    QFETCH(int, selected);
    QFETCH(QString, machine);
    QFETCH(std::string, file);
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    RangeEntry entry;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      EnterNextRange(entry, from, "1710");
      Click(dialog, "newButton");
      QCOMPARE(Rows(dialog, "rangeList"), rows);
      QCOMPARE(SelectedRow(dialog, "rangeList"), selected);
      QCOMPARE(Rows(dialog, "machineList")[0], machine);
      ClickAndWait(dialog, "okButton");
    });
    QCOMPARE(entry.shownFrom, QString("0"));
    QCOMPARE(entry.shownTo, QString("0"));
    QCOMPARE(ranges.queue("alpha"), file);
    QCOMPARE(open.session.model().Machines[0].QueuedRanges.size(), size_t(rows.size()));
  }

  // The stand-in client takes alpha's first range while the dialog is
  // open: "In the file" follows, and OK applies the edit to what is left.
  void rangeTakenWhileOpenIsNotWrittenBack() {
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    RangeEntry entry;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      const Result<std::optional<Range>> taken = TakeQueuedRange(ranges.queuePath("alpha"));
      QVERIFY(taken && taken.value());
      QTRY_COMPARE_WITH_TIMEOUT(Rows(dialog, "machineList")[0],
                                QString("alpha | 20 G in 2 ranges | 10 G in 1 range"), 10000);
      QCOMPARE(Rows(dialog, "rangeList"),
               QStringList({"1500 | 1510 [alpha has begun this range since this dialog opened: "
                            "OK leaves it out.]",
                            "1600 | 1610"}));
      EnterNextRange(entry, "1700", "1710");
      Click(dialog, "newButton");
      ClickAndWait(dialog, "okButton");
    });
    QVERIFY(prompter_.shown().empty());
    QCOMPARE(ranges.queue("alpha"),
             "pmin=1600000000000\npmax=1610000000000\npmin=1700000000000\npmax=1710000000000\n");
    const Result<std::optional<Range>> next = TakeQueuedRange(ranges.queuePath("alpha"));
    QVERIFY(next);
    QCOMPARE(next.value(), std::optional(Range{1600000000000, 1610000000000}));
  }

  // The user widens alpha's first range and adds one; its client begins
  // the first meanwhile. OK names it before anything is written.
  void editedRangeTheClientBeganIsNamedFirst_data() {
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<std::string>("file");
    const std::string left = "pmin=1600000000000\npmax=1610000000000\n";
    QTest::newRow("go on") << QMessageBox::Ok << left + "pmin=1700000000000\npmax=1710000000000\n";
    QTest::newRow("cancel") << QMessageBox::Cancel << left;
  }
  void editedRangeTheClientBeganIsNamedFirst() {
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(std::string, file);
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    RangeEntry widened, added;
    bool stayedOpen = false;
    QStringList machineRows, rangeRows;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      ClickRow(dialog, "rangeList", 0);
      EnterNextRange(widened, "1500", "1520");
      Click(dialog, "editButton");
      EnterNextRange(added, "1700", "1710");
      Click(dialog, "newButton");
      QVERIFY(TakeQueuedRange(ranges.queuePath("alpha")));
      prompter_.setNextAnswer(answer);
      ClickAndWait(dialog, "okButton");
      stayedOpen = dialog.isVisible();
      machineRows = Rows(dialog, "machineList");
      rangeRows = Rows(dialog, "rangeList");
    });
    QCOMPARE(prompter_.shown().size(), size_t{1});
    const ScriptedPrompter::Shown& box = prompter_.shown()[0];
    QCOMPARE(box.caption, QString("quillstrand"));
    QCOMPARE(box.text.split('\n').first(),
             QString("alpha has begun 1500–1520 since this dialog opened; it was left out."));
    QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(ranges.queue("alpha"), file);
    QCOMPARE(stayedOpen, answer == QMessageBox::Cancel);
    if (!stayedOpen) return;
    QCOMPARE(machineRows[0], QString("alpha | 40 G in 3 ranges | 10 G in 1 range (bold)"));
    QCOMPARE(rangeRows, QStringList({"1500 | 1520 (bold) [alpha has begun this range since this "
                                     "dialog opened: OK leaves it out.]",
                                     "1600 | 1610", "1700 | 1710 (bold)"}));
  }

  void deleteKeepsTheRowsMatchedToTheQueue() {
    RangesFarm ranges(std::string(kAlphaQueue) + "pmin=1700000000000\npmax=1710000000000\n");
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    RangeEntry entry;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      ClickRow(dialog, "rangeList", 0);
      Click(dialog, "deleteButton");
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"1600 | 1610", "1700 | 1710"}));
      ClickRow(dialog, "rangeList", 1);
      EnterNextRange(entry, QString(), QString());
      Click(dialog, "editButton");
      ClickAndWait(dialog, "okButton");
    });
    QCOMPARE(entry.shownFrom, QString("1700"));
    QVERIFY(prompter_.shown().empty());
    QCOMPARE(ranges.queue("alpha"),
             "pmin=1600000000000\npmax=1610000000000\npmin=1700000000000\npmax=1710000000000\n");
  }

  // Two machines at 100 kp/s with no current work share 1000 G to 1100 G.
  void equalize_data() {
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<std::string>("betaQueue");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("equalized");
    const QString done = "Everything should be done in about 5d 18h 53m.";
    const QString question = "Some of your ranges overlapped. Do you want me to fix it for you?";
    const QString attention =
        "The range 1050000000000-1080000000000 is assigned to more than one machine!";
    const std::string overlapping = "pmin=1050000000000\npmax=1100000000000\n";
    QTest::newRow("no speed") << QByteArray(kSilentStatus) << std::string() << QMessageBox::Ok
                              << QStringList{"I need information about the machines' speed to "
                                             "attempt this. Please let them sieve for a while and "
                                             "try again later."}
                              << false;
    QTest::newRow("one range") << QByteArray(kIdleStatus) << std::string() << QMessageBox::Ok
                               << QStringList{done} << true;
    QTest::newRow("overlap fixed") << QByteArray(kIdleStatus) << overlapping << QMessageBox::Ok
                                   << QStringList{attention, question, done} << true;
    QTest::newRow("overlap kept") << QByteArray(kIdleStatus) << overlapping << QMessageBox::Cancel
                                  << QStringList{attention, question} << false;
  }
  void equalize() {
    QFETCH(QByteArray, status);
    QFETCH(std::string, betaQueue);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(QStringList, messages);
    QFETCH(bool, equalized);
    const std::string alphaQueue = betaQueue.empty() ? "pmin=1000000000000\npmax=1100000000000\n"
                                                     : "pmin=1000000000000\npmax=1080000000000\n";
    RangesFarm ranges(alphaQueue, betaQueue, status.constData());
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    QStringList machineRows;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 1);
      prompter_.setNextAnswer(QMessageBox::Ok);
      prompter_.setNextAnswer(answer);
      ClickAndWait(dialog, "equalizeButton");
      machineRows = Rows(dialog, "machineList");
      if (!equalized) return ClickAndWait(dialog, "okButton");
      QCOMPARE(SelectedRow(dialog, "machineList"), 0);
      QCOMPARE(dialog.focusWidget(), static_cast<QWidget*>(List(dialog, "machineList")));
      QCOMPARE(QueueLabel(dialog), QString("Queued ranges for alpha"));
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"1000 | 1050 (bold)"}));
      ClickAndWait(dialog, "okButton");
    });
    QStringList shown;
    for (const ScriptedPrompter::Shown& box : prompter_.shown()) shown << box.text;
    QCOMPARE(shown, messages);
    if (messages.size() == 3) {
      QCOMPARE(prompter_.shown()[0].caption, QString("Attention"));
      QCOMPARE(prompter_.shown()[1].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
    if (!equalized) {
      QCOMPARE(ranges.queue("alpha"), alphaQueue);
      QCOMPARE(ranges.queue("beta"), betaQueue);
      return;
    }
    // The preview: what each machine holds now beside what its file held.
    const QString betaBefore = betaQueue.empty() ? "empty" : "50 G in 1 range";
    QCOMPARE(machineRows,
             QStringList(
                 {"alpha | 50 G in 1 range | " + QString(betaQueue.empty() ? "100 G" : "80 G") +
                      " in 1 range (bold)",
                  "beta | 50 G in 1 range | " + betaBefore + (betaQueue.empty() ? " (bold)" : ""),
                  "web | empty | no file"}));
    QCOMPARE(ranges.queue("alpha"), "pmin=1000000000000\npmax=1050000000000\n");
    QCOMPARE(ranges.queue("beta"), "pmin=1050000000000\npmax=1100000000000\n");
  }

  // Beta's client stopped two hours ago, halfway through its range, fast:
  // alpha gets beta's queue too, and Equalize tells why when it is done.
  void equalizeLeavesOutAStalledMachine() {
    RangesFarm ranges("pmin=1000000000000\npmax=1100000000000\n",
                      "pmin=1200000000000\npmax=1210000000000\n");
    const std::string betaStatus = ranges.farm.dir().write(
        "beta/QsvStatus.dat", "pmax=600000000000\npmin=550000000000 : 900 kp/s\n");
    std::filesystem::last_write_time(
        betaStatus, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    QStringList machineRows;
    runRanges(open, [&](QDialog& dialog) {
      prompter_.setNextAnswer(QMessageBox::Ok);
      ClickAndWait(dialog, "equalizeButton");
      machineRows = Rows(dialog, "machineList");
      ClickAndWait(dialog, "okButton");
    });
    QCOMPARE(static_cast<int>(prompter_.shown().size()), 1);
    const QString told = prompter_.shown()[0].text;
    QVERIFY2(told.startsWith("beta: left out (stalled: no progress since "), qPrintable(told));
    QVERIFY2(told.endsWith("); its queued ranges go to the others\n\n"
                           "Everything should be done in about 12d 17h 33m."),
             qPrintable(told));
    QCOMPARE(machineRows,
             QStringList({"alpha | 110 G in 2 ranges | 100 G in 1 range (bold)",
                          "beta | empty | 10 G in 1 range (bold)", "web | empty | no file"}));
    QCOMPARE(ranges.queue("alpha"),
             "pmin=1000000000000\npmax=1100000000000\npmin=1200000000000\npmax=1210000000000\n");
    QCOMPARE(ranges.queue("beta"), "");
  }

  // Equalize hands out what the files hold when it is pressed: a range the
  // client has taken since the dialog opened is not handed out again.
  void equalizeLeavesWhatAClientTookMeanwhile() {
    RangesFarm ranges(
        "pmin=1000000000000\npmax=1100000000000\npmin=1200000000000\npmax=1300000000000\n");
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    runRanges(open, [&](QDialog& dialog) {
      QVERIFY(TakeQueuedRange(ranges.queuePath("alpha")));
      ClickAndWait(dialog, "equalizeButton");
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"1200 | 1250 (bold)"}));
      ClickAndWait(dialog, "okButton");
    });
    QStringList shown;
    for (const ScriptedPrompter::Shown& box : prompter_.shown()) shown << box.text;
    QCOMPARE(shown, QStringList({"Everything should be done in about 5d 18h 53m."}));
    QCOMPARE(ranges.queue("alpha"), "pmin=1200000000000\npmax=1250000000000\n");
    QCOMPARE(ranges.queue("beta"), "pmin=1250000000000\npmax=1300000000000\n");
  }

  // The dialog opens before the files are read: "reading…" until they
  // are, and no queue to edit before.
  void opensAtOnceAndReadsTheFilesInTheBackground() {
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());

    CNextrangesDlg dialog(open.session, prompter_, &open.window);
    // Nothing has run on this thread since it was made: no reading is in.
    QCOMPARE(Rows(dialog, "machineList"),
             QStringList({"alpha |  | reading…", "beta |  | reading…", "web |  | no file"}));
    List(dialog, "machineList")->setCurrentItem(List(dialog, "machineList")->topLevelItem(0));
    dialog.findChild<QPushButton*>("newButton")->click();
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].text,
             QString("The queued ranges of alpha are still being read."));
    QTRY_COMPARE(Rows(dialog, "machineList"),
                 QStringList({"alpha | 20 G in 2 ranges | 20 G in 2 ranges", "beta | empty | empty",
                              "web | empty | no file"}));
    QCOMPARE(Rows(dialog, "rangeList"), QStringList({"1500 | 1510", "1600 | 1610"}));
  }

  // The write waits for the queue files' lock, as it would for a share
  // that hangs: the window goes on meanwhile, the dialog cannot be left
  // with the write half done, and it closes once the files are written.
  void okWaitsForTheWriteWithoutHoldingTheWindow() {
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());
    Result<FileLock> lock = FileLock::Acquire(QueueIntentPath(ranges.settingsPath), 0ms);
    QVERIFY(lock);
    std::optional<FileLock> held(std::move(lock.value()));

    bool waiting = false;
    bool stayedAfterCancel = false;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      ClickRow(dialog, "rangeList", 0);
      Click(dialog, "deleteButton");
      Click(dialog, "okButton");
      QTest::qWait(200);
      waiting = dialog.isVisible() && !dialog.findChild<QPushButton*>("okButton")->isEnabled() &&
                ranges.queue("alpha") == kAlphaQueue;
      dialog.reject();
      stayedAfterCancel = dialog.isVisible();
      held.reset();
      QTRY_VERIFY(!dialog.isVisible());
    });
    QVERIFY(waiting);
    QVERIFY(stayedAfterCancel);
    QVERIFY(prompter_.shown().empty());
    QCOMPARE(ranges.queue("alpha"), "pmin=1600000000000\npmax=1610000000000\n");
  }

  // What the file holds when the dialog opens; anything else was never
  // written: an earlier Cancel's edits are gone.
  void cancelWritesNothing() {
    RangesFarm ranges("pmin=1500000000000\r\npmax=1510000000000\r\n");
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());
    QSignalSpy refreshes(&open.session, &FarmSession::refreshStarted);

    RangeEntry entry;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      ClickRow(dialog, "rangeList", 0);
      Click(dialog, "deleteButton");
      ClickRow(dialog, "machineList", 1);
      EnterNextRange(entry, "1700", "1710");
      Click(dialog, "newButton");
      Click(dialog, "cancelButton");
    });
    QCOMPARE(ranges.queue("alpha"), "pmin=1500000000000\r\npmax=1510000000000\r\n");
    QVERIFY(!std::filesystem::exists(ranges.queuePath("beta")));
    QCOMPARE(open.session.model().Machines[0].QueuedRanges,
             std::vector<Range>({{1500000000000, 1510000000000}}));
    QVERIFY(open.session.model().Machines[1].QueuedRanges.empty());
    QCOMPARE(refreshes.count(), 0);

    runRanges(open, [](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"1500 | 1510"}));
    });
  }

  // Only the queues edited are written. A machine whose folder is missing
  // has nothing to lose when its queue was left alone: its file cannot be
  // written, and need not be.
  void okWritesTheEditedQueuesAndTheWindowRefreshes() {
    const std::string byHand = "# by hand\r\npmin=1500000000000\r\npmax=1510000000000\r\n";
    RangesFarm ranges(byHand);
    const std::string offline = ranges.farm.dir().file("offline");
    ranges.farm.addRemote("offline", offline + "/QsvStatus.dat", offline + "/fact.txt");
    ranges.settingsPath = ranges.farm.writeSettings();
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());
    QSignalSpy refreshes(&open.session, &FarmSession::refreshStarted);

    RangeEntry entry;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 1);
      EnterNextRange(entry, "1700", "1710");
      Click(dialog, "newButton");
      ClickAndWait(dialog, "okButton");
    });
    QCOMPARE(ranges.queue("alpha"), byHand);
    QCOMPARE(ranges.queue("beta"), "pmin=1700000000000\npmax=1710000000000\n");
    QVERIFY(!std::filesystem::exists(offline));
    QCOMPARE(refreshes.count(), 1);
    QVERIFY(open.settle());
    QVERIFY(prompter_.shown().empty());
  }

  // A queue file under a regular file cannot be written: the dialog says
  // so, writes none of the others, keeps its edits and writes them all on
  // the next OK.
  void okThatCannotWriteAFileNamesItAndStaysOpen() {
    RangesFarm ranges;
    const std::string blocker = ranges.farm.dir().write("gamma", "not a folder");
    ranges.farm.addRemote("gamma", blocker + "/QsvStatus.dat", blocker + "/fact.txt");
    ranges.settingsPath = ranges.farm.writeSettings();
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());
    QSignalSpy refreshes(&open.session, &FarmSession::refreshStarted);

    RangeEntry entry;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      ClickRow(dialog, "rangeList", 0);
      Click(dialog, "deleteButton");
      ClickRow(dialog, "machineList", 3);
      EnterNextRange(entry, "1700", "1710");
      Click(dialog, "newButton");
      ClickAndWait(dialog, "okButton");
      QVERIFY(dialog.isVisible());
      QCOMPARE(
          Rows(dialog, "machineList"),
          QStringList({"alpha | 10 G in 1 range | 20 G in 2 ranges (bold)", "beta | empty | empty",
                       "web | empty | no file", "gamma | 10 G in 1 range | empty (bold)"}));
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"1700 | 1710 (bold)"}));
      QCOMPARE(ranges.queue("alpha"), std::string(kAlphaQueue));
      QCOMPARE(refreshes.count(), 0);

      std::filesystem::remove(blocker);
      std::filesystem::create_directory(blocker);
      ClickAndWait(dialog, "okButton");
      QVERIFY(!dialog.isVisible());
    });
    QCOMPARE(prompter_.shown().size(), size_t{1});
    const ScriptedPrompter::Shown& box = prompter_.shown()[0];
    QCOMPARE(box.caption, QString("quillstrand"));
    QVERIFY2(box.text.contains(QString::fromStdString(blocker + "/nextrange.txt")),
             qPrintable(box.text));
    QVERIFY2(box.text.contains("Not a directory"), qPrintable(box.text));
    QCOMPARE(ranges.queue("alpha"), "pmin=1600000000000\npmax=1610000000000\n");
    QCOMPARE(ReadFile(blocker + "/nextrange.txt"), "pmin=1700000000000\npmax=1710000000000\n");
    QCOMPARE(refreshes.count(), 1);
  }

  // A timer tick or a refresh asked for while the dialog is open waits for
  // it, then runs once; meanwhile the rows still address the queue shown.
  void refreshAskedForWhileOpenRunsOnceAfter_data() {
    QTest::addColumn<QByteArray>("closeWith");
    QTest::newRow("OK") << QByteArray("okButton");
    QTest::newRow("Cancel") << QByteArray("cancelButton");
  }
  void refreshAskedForWhileOpenRunsOnceAfter() {
    QFETCH(QByteArray, closeWith);
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());
    QSignalSpy refreshes(&open.session, &FarmSession::refreshStarted);

    RangeEntry entry;
    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      ClickRow(dialog, "rangeList", 0);
      Click(dialog, "deleteButton");
      // The client takes its next range meanwhile; a refresh would read it.
      ranges.farm.dir().write("alpha/nextrange.txt", "pmin=1600000000000\npmax=1610000000000\n");
      QVERIFY(open.session.refresh());
      QVERIFY(open.session.refresh());
      QTest::qWait(50);
      QCOMPARE(refreshes.count(), 0);
      QTRY_VERIFY(open.session.runner().idle());
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"1600 | 1610"}));
      ClickRow(dialog, "rangeList", 0);
      EnterNextRange(entry, "1800", "1810");
      Click(dialog, "editButton");
      ClickAndWait(dialog, closeWith.constData());
    });
    QCOMPARE(entry.shownFrom, QString("1600"));
    QCOMPARE(refreshes.count(), 1);
    QVERIFY(open.settle());
    QCOMPARE(refreshes.count(), 1);
    const std::string alpha = closeWith == "okButton" ? "pmin=1800000000000\npmax=1810000000000\n"
                                                      : "pmin=1600000000000\npmax=1610000000000\n";
    QCOMPARE(ranges.queue("alpha"), alpha);
    QCOMPARE(open.session.model().Machines[0].QueuedRanges.size(), size_t{1});
  }

  // A refresh under way when the dialog opens ends while it is open; what
  // it read is applied once the dialog has gone, and never over its queues.
  void refreshEndingWhileOpenIsNotAppliedOverTheQueues() {
    RangesFarm ranges;
    ranges.fetcher->holdNext("http://web/fact.txt");
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QTRY_COMPARE(ranges.fetcher->waiting(), 1);
    QSignalSpy refreshed(&open.session, &FarmSession::refreshed);

    runRanges(open, [&](QDialog& dialog) {
      ClickRow(dialog, "machineList", 0);
      ClickRow(dialog, "rangeList", 0);
      Click(dialog, "deleteButton");
      ranges.fetcher->release();
      QTRY_VERIFY(open.session.runner().idle());
      QTest::qWait(20);
      QCOMPARE(refreshed.count(), 0);
      QCOMPARE(Rows(dialog, "rangeList"), QStringList({"1600 | 1610"}));
      ClickAndWait(dialog, "okButton");
    });
    QTRY_VERIFY(refreshed.count() >= 1);
    QVERIFY(open.settle());
    QCOMPARE(open.session.model().Machines[0].QueuedRanges,
             std::vector<Range>({{1600000000000, 1610000000000}}));
  }

  void buttonsSayWhatTheyDo_data() {
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("OK") << QByteArray("okButton") << "Exit and save changes";
    QTest::newRow("Cancel") << QByteArray("cancelButton") << "Exit and ignore changes";
    QTest::newRow("New") << QByteArray("newButton") << "Create new range";
    QTest::newRow("Edit") << QByteArray("editButton") << "Edit selected range";
    QTest::newRow("Delete") << QByteArray("deleteButton") << "Delete selected range";
    QTest::newRow("Equalize") << QByteArray("equalizeButton") << QString();
  }
  void buttonsSayWhatTheyDo() {
    QFETCH(QByteArray, button);
    QFETCH(QString, toolTip);
    RangesFarm ranges;
    OpenWindow open(ranges.settingsPath, prompter_, ranges.fetcher);
    QVERIFY(open.settle());
    runRanges(open, [&](QDialog& dialog) {
      QCOMPARE(dialog.findChild<QPushButton*>(button.constData())->toolTip(), toolTip);
    });
  }

 private:
  // Opens the Manage ranges dialog with the window's Ranges button and runs
  // `steps` in it once it has read the queue files.
  void runRanges(OpenWindow& open, std::function<void(QDialog&)> steps) {
    openRanges(open, [steps = std::move(steps)](QDialog& dialog) {
      QTRY_VERIFY(!ShowsReading(dialog));
      steps(dialog);
    });
  }

  // Runs `steps` in the Manage ranges dialog as soon as it opens.
  void openRanges(OpenWindow& open, std::function<void(QDialog&)> steps) {
    WhenNextDialogOpens(std::move(steps));
    QTest::mouseClick(open.find<QPushButton>("rangesButton"), Qt::LeftButton);
  }

  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(RangesDialogTest)
#include "RangesDialogTest.moc"
