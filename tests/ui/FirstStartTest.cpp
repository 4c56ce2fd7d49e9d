#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "ModalDialogs.h"
#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "support/QtTestClass.h"
#include "ui/Startup.h"

// A first start leads to a first machine.
class FirstStartTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void emptyFarmLeadsToOptionsUntilAMachineIsAdded() {
    TestFarm farm;
    farm.addLocal("attic", StandardFarm::kStatus, FactorLine(100000000003) + "\n");
    const std::string settingsPath = farm.dir().file("empty.ini");
    OpenWindow open(settingsPath, prompter_);
    QVERIFY(QTest::qWaitForWindowExposed(&open.window));
    QVERIFY(open.settle());
    auto* hint = open.find<QLabel>("emptyListHint");
    QVERIFY(hint->isVisible());
    QCOMPARE(hint->text(), QString("No machines yet: Options → New adds one"));
    QVERIFY(open.find<QPushButton>("optionsButton")->isDefault());
    QVERIFY(!open.find<QPushButton>("refreshButton")->isDefault());

    // Enter, the default button, opens the Options.
    WhenNextDialogOpens([&](QDialog& options) {
      WhenNextDialogOpens([&](QDialog& machine) {
        machine.findChild<QLineEdit*>("nameBox")->setText("attic");
        machine.findChild<QLineEdit*>("statusPathBox")
            ->setText(QString::fromStdString(farm.dir().file("attic/QsvStatus.dat")));
        machine.findChild<QLineEdit*>("factorPathBox")
            ->setText(QString::fromStdString(farm.dir().file("attic/fact.txt")));
        Click(machine, "okButton");
      });
      Click(options, "newButton");
      Click(options, "okButton");
    });
    QTRY_VERIFY(open.find<QPushButton>("optionsButton")->hasFocus());
    QTest::keyClick(open.window.focusWidget(), Qt::Key_Return);
    QVERIFY(open.settle());

    QVERIFY(!hint->isVisible());
    QVERIFY(open.find<QPushButton>("refreshButton")->isDefault());
    QVERIFY(!open.find<QPushButton>("optionsButton")->isDefault());
    const QAbstractItemModel* rows = open.find<QTreeView>("machineList")->model();
    QCOMPARE(rows->rowCount(), 1);
    QCOMPARE(rows->index(0, 0).data().toString(), QString("attic"));
    QCOMPARE(rows->index(0, 1).data().toString(), QString("1"));
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 1"));
    QVERIFY(prompter_.shown().empty());
  }

  void aNamedSettingsFileThatIsMissingIsToldOf_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("named");
    QTest::addColumn<bool>("told");
    QTest::newRow("named, missing") << false << true << true;
    QTest::newRow("named, there") << true << true << false;
    QTest::newRow("not named, missing") << false << false << false;
  }
  void aNamedSettingsFileThatIsMissingIsToldOf() {
    QFETCH(bool, exists);
    QFETCH(bool, named);
    QFETCH(bool, told);
    TestFarm farm;
    const std::string path = exists ? farm.writeSettings() : farm.dir().file("typo.ini");
    FarmSession session(path, std::make_shared<CurlFetcher>());
    CQuillstrandDlg window(session, prompter_);
    StartProgram(session, window, prompter_, named);
    QVERIFY(QTest::qWaitFor([&] { return session.runner().idle(); }));
    QCOMPARE(prompter_.shown().size(), size_t{told});
    if (told) {
      QCOMPARE(prompter_.shown()[0].caption, QString("quillstrand"));
      QCOMPARE(
          prompter_.shown()[0].text,
          QString::fromStdString(path) + " does not exist; it will be created at the first save");
    }
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(FirstStartTest)
#include "FirstStartTest.moc"
