#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <filesystem>

#include "ModalDialogs.h"
#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "model/SettingsFile.h"
#include "monitor/MachineRow.h"
#include "support/QtTestClass.h"

// The window as it opens: its controls, the first refresh, and closing.
class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void buttonsInOrderWithTheirTooltips() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    const std::array<std::pair<QString, QString>, 7> expected{{
        {"&Refresh", "Refresh all machines"},
        {"&Submit", "Submit new factors to QV site"},
        {"&Copy new", "Copy new factors to clipboard"},
        {"&Mark as old", "Mark new factors as old"},
        {"Ra&nges", "Manage queued ranges"},
        {"&Options", "Configure options"},
        {"&About", "About quillstrand"},
    }};
    QVERIFY(QTest::qWaitForWindowExposed(&open.window));
    const QList<QPushButton*> buttons = open.window.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), qsizetype{expected.size()});
    QList<QPushButton*> leftToRight = buttons;
    std::sort(leftToRight.begin(), leftToRight.end(),
              [](const QPushButton* a, const QPushButton* b) { return a->x() < b->x(); });
    for (size_t i = 0; i < expected.size(); ++i) {
      const auto& [text, toolTip] = expected[i];
      QCOMPARE(leftToRight[i]->text(), text);
      QCOMPARE(leftToRight[i]->toolTip(), toolTip);
      QCOMPARE(leftToRight[i]->isDefault(), i == 0);
    }
    QVERIFY(open.settle());
  }

  void listHasTheElevenColumns() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    const auto* list = open.find<QTreeView>("machineList");
    QCOMPARE(list->model()->columnCount(), int{kMachineColumnCount});
    for (size_t column = 0; column < kMachineColumnCount; ++column) {
      const int section = static_cast<int>(column);
      QCOMPARE(list->model()->headerData(section, Qt::Horizontal).toString(),
               QString::fromLatin1(kMachineColumns[column].header));
      QVERIFY(list->columnWidth(section) >= list->header()->sectionSizeHint(section));
    }
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(open.settle());
  }

  void labelWaitsForTheFirstRefresh() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QCOMPARE(open.window.windowTitle(), QString("quillstrand v1.20"));
    QCOMPARE(open.newFactorsLabel(), QString("New factors"));
    QVERIFY(open.session.refreshing());
    QVERIFY(open.settle());
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 5"));
  }

  void firstRefreshFillsRowsAndNewFactors() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    const QAbstractItemModel* rows = open.find<QTreeView>("machineList")->model();
    QCOMPARE(rows->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
      const MachineRow texts =
          MachineRowTexts(open.session.model().Machines[static_cast<size_t>(row)]);
      for (size_t column = 0; column < kMachineColumnCount; ++column)
        QCOMPARE(rows->index(row, static_cast<int>(column)).data().toString(),
                 QString::fromStdString(texts[column]));
      QCOMPARE(rows->index(row, 0).data(Qt::ToolTipRole).toString(),
               QString("range ends in 20d 20h; queue empty"));
    }
    QCOMPARE(rows->index(2, 0).data().toString(), QString("gamma"));
    QCOMPARE(rows->index(0, 6).data().toString(), QString("50 kp/s"));
    QCOMPARE(open.paneText("newFactorsPane"), StandardFarm::NewFactorsShown());
    QCOMPARE(open.paneText("allFactorsPane"), QString());
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 5"));
    QCOMPARE(open.session.model().Marks.size(), size_t{2});
    QVERIFY(prompter_.shown().empty());
  }

  void emptyFarmShowsNoRowsAndNoFactors() {
    TestFarm farm;
    OpenWindow open(farm.writeSettings(), prompter_);
    QVERIFY(open.settle());
    QCOMPARE(open.find<QTreeView>("machineList")->model()->rowCount(), 0);
    QCOMPARE(open.paneText("newFactorsPane"), QString());
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 0"));
  }

  void listAndPanesGrowWithTheWindow() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(QTest::qWaitForWindowExposed(&open.window));
    const std::array<QWidget*, 3> growing{open.find<QWidget>("machineList"),
                                          open.find<QWidget>("allFactorsPane"),
                                          open.find<QWidget>("newFactorsPane")};
    std::array<QSize, 3> before;
    for (size_t i = 0; i < growing.size(); ++i) before[i] = growing[i]->size();
    open.window.resize(open.window.size() * 3 / 2);
    QTRY_VERIFY(growing[0]->width() > before[0].width());
    for (size_t i = 0; i < growing.size(); ++i) {
      QVERIFY2(growing[i]->width() > before[i].width(), growing[i]->objectName().toLatin1());
      QVERIFY2(growing[i]->height() > before[i].height(), growing[i]->objectName().toLatin1());
    }
    QVERIFY(open.settle());
  }

  // Escape, a dialog's Cancel, does not quit the program, wherever the
  // focus is; closing the window saves the settings.
  void escapeLeavesTheWindowOpenAndClosingSaves_data() {
    QTest::addColumn<QString>("focus");
    for (const char* focus : {"machineList", "newFactorsPane", "refreshButton"})
      QTest::newRow(focus) << QString(focus);
  }
  void escapeLeavesTheWindowOpenAndClosingSaves() {
    QFETCH(QString, focus);
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(QTest::qWaitForWindowActive(&open.window));
    QVERIFY(open.settle());
    // Gone meanwhile: only a save can bring it back.
    std::filesystem::remove(standard.settingsPath);
    auto* target = open.find<QWidget>(focus.toLatin1());
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    QTest::keyClick(target, Qt::Key_Escape);
    QVERIFY(open.window.isVisible());
    QVERIFY(!std::filesystem::exists(standard.settingsPath));
    open.window.close();
    QVERIFY(!open.window.isVisible());
    Model saved;
    QVERIFY(LoadSettings(standard.settingsPath, saved).ok());
    QCOMPARE(saved.Machines.size(), size_t{3});
    QVERIFY(prompter_.shown().empty());
  }

  void escapeStillCancelsADialog() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    bool cancelled = false;
    WhenNextDialogOpens([&](QDialog& options) {
      QTest::keyClick(&options, Qt::Key_Escape);
      cancelled = !options.isVisible() && options.result() == QDialog::Rejected;
    });
    Click(open.window, "optionsButton");
    QVERIFY(cancelled);
    QVERIFY(open.window.isVisible());
    QVERIFY(open.settle());
  }

  void failureToReadTheSettingsIsShown() {
    TempDir dir;
    OpenWindow open(dir.path().string(), prompter_);
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].caption, QString("quillstrand"));
    QVERIFY(prompter_.shown()[0].text.startsWith("Cannot read the settings file "));
    QVERIFY(prompter_.shown()[0].text.contains("Is a directory"));
    QVERIFY(open.settle());
  }

  void failureToSaveOnCloseIsShown() {
    TempDir dir;
    const std::string underFile = dir.write("file", "x") + "/quillstrand.ini";
    OpenWindow open(underFile, prompter_);
    QVERIFY(open.settle());
    open.window.close();
    QVERIFY(!open.window.isVisible());
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].caption, QString("quillstrand"));
    QVERIFY(prompter_.shown()[0].text.startsWith("Cannot save the settings file "));
    QVERIFY(prompter_.shown()[0].text.contains(QString::fromStdString(underFile)));
    QVERIFY(prompter_.shown()[0].text.contains("Not a directory"));
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
