#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "model/SettingsFile.h"
#include "support/QtTestClass.h"

// Mark as old and Copy new, on what the New factors pane shows.
class NewFactorActionsTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void markAsOldWithoutNewFactorsSaysSo() {
    TestFarm farm;
    OpenWindow open(farm.writeSettings(), prompter_);
    QVERIFY(open.settle());
    QTest::mouseClick(open.find<QPushButton>("markAsOldButton"), Qt::LeftButton);
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].caption, QString("Mark new factors as old"));
    QCOMPARE(prompter_.shown()[0].text, QString("There are no new factors."));
    QCOMPARE(prompter_.shown()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }

  void markAsOldOnTheSelectedMachine_data() {
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("marked");
    QTest::newRow("No") << QMessageBox::No << false;
    QTest::newRow("Yes") << QMessageBox::Yes << true;
  }
  void markAsOldOnTheSelectedMachine() {
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, marked);
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(2));
    const std::string settingsBefore = ReadFile(standard.settingsPath);

    prompter_.setNextAnswer(answer);
    QTest::mouseClick(open.find<QPushButton>("markAsOldButton"), Qt::LeftButton);

    QCOMPARE(prompter_.shown().size(), size_t{1});
    const ScriptedPrompter::Shown& box = prompter_.shown()[0];
    QCOMPARE(box.caption, QString("Mark new factors as old"));
    QCOMPARE(box.text, QString("Are you sure you want to mark the new factors as old?\n\n"
                               "gamma: 3 new factors"));
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.defaultButton, QMessageBox::Yes);

    const uint64_t gammaOld = marked ? StandardFarm::kGamma[3] : StandardFarm::kGamma[0];
    QCOMPARE(open.session.model().Machines[0].LastOldFactor, StandardFarm::kAlpha[1]);
    QCOMPARE(open.session.model().Machines[1].LastOldFactor, StandardFarm::kBeta[1]);
    QCOMPARE(open.session.model().Machines[2].LastOldFactor, gammaOld);
    QCOMPARE(open.newFactorsLabel(), QString(marked ? "New factors: 0" : "New factors: 3"));
    QCOMPARE(open.paneText("newFactorsPane").isEmpty(), marked);
    // The summary counts what the pane shows at once, not at the next refresh.
    QVERIFY(open.find<QLabel>("farmSummary")
                ->text()
                .contains(marked ? "; 0 new factors;" : "; 3 new factors;"));
    if (!marked) {
      QCOMPARE(ReadFile(standard.settingsPath), settingsBefore);
      return;
    }
    Model saved;
    QVERIFY(LoadSettings(standard.settingsPath, saved).ok());
    QCOMPARE(saved.Machines[0].LastOldFactor, StandardFarm::kAlpha[1]);
    QCOMPARE(saved.Machines[2].LastOldFactor, gammaOld);

    // Gamma, still selected, is read again from its new mark on.
    QVERIFY(open.session.refresh());
    QVERIFY(open.settle());
    QCOMPARE(open.paneText("newFactorsPane"), QString());
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 0"));
  }

  void markAsOldReportsAFailedSave() {
    StandardFarm standard;
    const std::filesystem::path folder = standard.farm.dir().path() / "settings";
    std::filesystem::create_directory(folder);
    const std::string settingsPath = (folder / "quillstrand.ini").string();
    std::filesystem::copy_file(standard.settingsPath, settingsPath);
    OpenWindow open(settingsPath, prompter_);
    QVERIFY(open.settle());
    // A folder turned into a regular file fails the save even for root.
    std::filesystem::remove_all(folder);
    standard.farm.dir().write("settings", "not a folder");

    prompter_.setNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(open.find<QPushButton>("markAsOldButton"), Qt::LeftButton);

    QCOMPARE(prompter_.shown().size(), size_t{2});
    QCOMPARE(prompter_.shown()[1].caption, QString("quillstrand"));
    QVERIFY(prompter_.shown()[1].text.startsWith("Cannot save the settings file "));
    QVERIFY(prompter_.shown()[1].text.contains(QString::fromStdString(settingsPath)));
    QVERIFY(prompter_.shown()[1].text.contains("Not a directory"));
    QCOMPARE(open.session.model().Machines[2].LastOldFactor, StandardFarm::kGamma[3]);
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 0"));
  }

  // While the question is open, a refresh may end; the answer still marks
  // what the user was asked about, and the refresh shows afterwards. A
  // refresh asked for meanwhile waits for the answer.
  void refreshEndingDuringTheQuestionWaitsForTheAnswer() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(2));
    prompter_.whileNextBoxIsOpen([&] {
      QVERIFY(open.settle());
      QCOMPARE(open.newFactorsLabel(), QString("New factors: 3"));
      QVERIFY(open.session.refresh());
      QVERIFY(open.session.runner().idle());
    });
    prompter_.setNextAnswer(QMessageBox::Yes);
    QVERIFY(open.session.refresh());
    QTest::mouseClick(open.find<QPushButton>("markAsOldButton"), Qt::LeftButton);

    QCOMPARE(open.session.model().Machines[0].LastOldFactor, StandardFarm::kAlpha[1]);
    QCOMPARE(open.session.model().Machines[2].LastOldFactor, StandardFarm::kGamma[3]);
    QVERIFY(open.session.refreshing());  // the one asked for during the question
    QVERIFY(open.settle());
    const auto& gamma = StandardFarm::kGamma;
    QCOMPARE(open.paneText("allFactorsPane"),
             QString::fromStdString(FactorLines({std::begin(gamma), std::end(gamma)})));
    QCOMPARE(open.newFactorsLabel(), QString("New factors: 0"));
  }

  void copyNew_data() {
    QTest::addColumn<bool>("launch");
    QTest::addColumn<int>("machine");
    QTest::addColumn<QString>("clipboard");
    const QString gammaNew = QString::fromStdString(FactorLines(
        {StandardFarm::kGamma[1], StandardFarm::kGamma[2], StandardFarm::kGamma[3]}, "\r\n"));
    QTest::newRow("factors, no URL") << false << 2 << gammaNew;
    QTest::newRow("factors and URL") << true << 2 << gammaNew;
    QTest::newRow("no factors: clipboard kept, URL opened") << true << 1 << QString("kept");
  }
  void copyNew() {
    QFETCH(bool, launch);
    QFETCH(int, machine);
    QFETCH(QString, clipboard);
    StandardFarm standard;
    Model configured;
    QVERIFY(LoadSettings(standard.settingsPath, configured));
    configured.Options.LaunchCopyNewURL = launch;
    configured.Options.CopyNewURL = "http://qv.example.org/sieve/?from=quillstrand";
    QVERIFY(SaveSettings(standard.settingsPath, configured));
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(machine));
    QApplication::clipboard()->setText("kept");

    QTest::mouseClick(open.find<QPushButton>("copyNewButton"), Qt::LeftButton);

    QCOMPARE(QApplication::clipboard()->text(), clipboard);
    const std::vector<QUrl> expected =
        launch ? std::vector<QUrl>{QUrl("http://qv.example.org/sieve/?from=quillstrand")}
               : std::vector<QUrl>{};
    QCOMPARE(prompter_.openedUrls(), expected);
    QVERIFY(prompter_.shown().empty());
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(NewFactorActionsTest)
#include "NewFactorActionsTest.moc"
