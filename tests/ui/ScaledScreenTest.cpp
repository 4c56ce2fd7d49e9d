#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <functional>
#include <vector>

#include "ModalDialogs.h"
#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "support/QtTestClass.h"

namespace {

// Every button that `dialog` shows lies inside it, and it inside the room
// its screen leaves.
void CheckFits(QDialog& dialog) {
  const QRect room = dialog.screen()->availableGeometry();
  QVERIFY2(room.contains(dialog.frameGeometry()),
           qPrintable(dialog.windowTitle() + " is larger than its screen"));
  for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
    if (!button->isVisibleTo(&dialog)) continue;
    const QRect shown(button->mapTo(&dialog, QPoint(0, 0)), button->size());
    QVERIFY2(dialog.rect().contains(shown),
             qPrintable(button->text() + " lies outside " + dialog.windowTitle()));
  }
}

// True once no list of `dialog` waits for what it reads in the background.
bool DoneReading(const QDialog& dialog) {
  for (const QTreeWidget* list : dialog.findChildren<QTreeWidget*>())
    for (int column = 0; column < list->columnCount(); ++column)
      if (!list->findItems("reading…", Qt::MatchContains, column).isEmpty()) return false;
  return true;
}

// Clicks the first of `buttons` in `parent`, the next in the dialog that
// opens, and so on; checks the last dialog opened.
void OpenAndCheck(QWidget& parent, std::vector<const char*> buttons) {
  const char* first = buttons.front();
  buttons.erase(buttons.begin());
  WhenNextDialogOpens([buttons](QDialog& dialog) {
    if (buttons.empty()) return CheckFits(dialog);
    QTRY_VERIFY(DoneReading(dialog));
    OpenAndCheck(dialog, buttons);
  });
  Click(parent, first);
}

}  // namespace

// The windows on a screen of 1400 × 900 pixels at twice the scale: the
// 700 × 450 left to them must still show every dialog's buttons and five
// of the farm's machines in the main window.
class ScaledScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    for (const char* name : {"m1", "m2", "m3", "m4", "m5", "m6"})
      farm_.addLocal(name, StandardFarm::kStatus, "");
    settingsPath_ = farm_.writeSettings();
  }
  void cleanup() { prompter_.reset(); }

  void theScreenIsScaled() {
    QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry().size(), QSize(700, 450));
  }

  void mainWindowShowsFiveMachines() {
    OpenWindow open(settingsPath_, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.window.screen()->availableGeometry().contains(open.window.frameGeometry()));
    auto* list = open.find<QTreeView>("machineList");
    const int row = list->visualRect(list->model()->index(0, 0)).height();
    QVERIFY(row > 0);
    QVERIFY2(list->viewport()->height() >= 5 * row,
             qPrintable(QString("%1 px for rows of %2").arg(list->viewport()->height()).arg(row)));
  }

  void dialogsShowTheirButtons_data() {
    QTest::addColumn<std::vector<const char*>>("buttons");
    QTest::newRow("Options") << std::vector<const char*>{"optionsButton"};
    QTest::newRow("Machine") << std::vector<const char*>{"optionsButton", "newButton"};
    QTest::newRow("Manage ranges") << std::vector<const char*>{"rangesButton"};
    QTest::newRow("Range") << std::vector<const char*>{"rangesButton", "newButton"};
    QTest::newRow("About") << std::vector<const char*>{"aboutButton"};
  }
  void dialogsShowTheirButtons() {
    QFETCH(std::vector<const char*>, buttons);
    OpenWindow open(settingsPath_, prompter_);
    QVERIFY(open.settle());
    OpenAndCheck(open.window, buttons);
    QVERIFY(open.settle());
    QVERIFY(prompter_.shown().empty());
  }

 private:
  TestFarm farm_;
  std::string settingsPath_;
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(ScaledScreenTest)
#include "ScaledScreenTest.moc"
