#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <chrono>
#include <filesystem>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "submit/SubmissionLog.h"
#include "support/QtTestClass.h"
#include "support/SiteUnderTest.h"

using namespace std::chrono_literals;

// The Submit button posts the new factors to the project site in the
// background and marks as old what it posted, once the user agrees.
class SubmitTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { site_ = std::make_unique<SiteUnderTest>(); }
  void cleanup() {
    prompter_.reset();
    site_.reset();
  }

  void agreeingMarksWhatWasPosted_data() {
    QTest::addColumn<bool>("agree");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
  }
  void agreeingMarksWhatWasPosted() {
    QFETCH(bool, agree);
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    prompter_.setNextAnswer(agree ? QMessageBox::Yes : QMessageBox::No);
    clickSubmit(open);
    QVERIFY(open.settle());

    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].caption, QString("Submission results"));
    QCOMPARE(prompter_.shown()[0].text, QString("logged in as : farmer\n"
                                                "verified : 5 of 5\n"
                                                "new factors : 5 of 5\n"
                                                "\nMark factors as old?\n"
                                                "\nAll 3 machines: 5 new factors"));
    QCOMPARE(prompter_.shown()[0].defaultButton, QMessageBox::Yes);
    const Model& model = open.session.model();
    QCOMPARE(model.Machines[0].LastOldFactor,
             agree ? StandardFarm::kAlpha[3] : StandardFarm::kAlpha[1]);
    QCOMPARE(model.Machines[2].LastOldFactor,
             agree ? StandardFarm::kGamma[3] : StandardFarm::kGamma[0]);
    QCOMPARE(open.newFactorsLabel(), agree ? QString("New factors: 0") : QString("New factors: 5"));
    // The summary counts what the pane shows at once, not at the next refresh.
    QVERIFY(open.find<QLabel>("farmSummary")
                ->text()
                .contains(agree ? "; 0 new factors;" : "; 5 new factors;"));
    QVERIFY(open.find<QWidget>("machineList")->hasFocus());
    const std::string log = ReadFile(SubmissionLogPath(standard.settingsPath));
    QVERIFY2(log.find(FactorLine(StandardFarm::kGamma[3])) != std::string::npos, log.c_str());
  }

  // The site counted fewer verified factors than were posted: the question
  // still comes, with No its default.
  void aSiteThatVerifiedFewerAsksWithNoAsTheDefault() {
    site_->SetCountsText("4 of 5");
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    prompter_.setNextAnswer(QMessageBox::No);
    clickSubmit(open);
    QVERIFY(open.settle());
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].caption, QString("Submission results"));
    QCOMPARE(prompter_.shown()[0].defaultButton, QMessageBox::No);
    QCOMPARE(open.session.model().Machines[2].LastOldFactor, StandardFarm::kGamma[0]);
  }

  // A process killed after its post left the log without its answer: the
  // window's next submission tells the user, who may find the factors on
  // the site already.
  void anEarlierPostWithoutAnswerIsNamed() {
    StandardFarm standard;
    const std::string log = standard.farm.dir().write(
        kSubmissionLogName,
        "2026-12-10T00:15:35Z automatic submission of 1 factors from machine 0 \"a\"\n"
        "  posting\n    1000000007 | 5*2^12+1\n\n");
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    prompter_.setNextAnswer(QMessageBox::Yes);
    clickSubmit(open);
    QVERIFY(open.settle());
    QCOMPARE(prompter_.shown().size(), size_t{2});
    QCOMPARE(prompter_.shown()[0].text,
             QString("The submission of 2026-12-10T00:15:35Z has no answer on record; its factors "
                     "may be on the site already."));
    QCOMPARE(prompter_.shown()[1].caption, QString("Submission results"));
    QVERIFY(ReadFile(log).find("  posting\n  The submission of 2026-12-10T00:15:35Z has no "
                               "answer on record") != std::string::npos);
  }

  void nothingNewIsSaidAndNothingPosted() {
    TestFarm farm;
    farm.addLocal("idle", StandardFarm::kStatus, "");
    OpenWindow open(farm.writeSettings(), prompter_);
    QVERIFY(open.settle());
    clickSubmit(open);
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].text, QString("There are no new factors to submit."));
    QCOMPARE(site_->PostCount("/sieve/sievePost.mhtml"), 0);
  }

  // What the user is asked about, and what is marked, are the factors that
  // were posted, even when another machine is selected meanwhile.
  void selectingAnotherMachineMeanwhileMarksWhatWasPosted() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    prompter_.whileNextBoxIsOpen([&] {
      QVERIFY(open.clickMachine(1));
      QCOMPARE(open.newFactorsLabel(), QString("New factors: 0"));
    });
    prompter_.setNextAnswer(QMessageBox::Yes);
    clickSubmit(open);
    QVERIFY(open.settle());
    QCOMPARE(open.session.model().Machines[0].LastOldFactor, StandardFarm::kAlpha[3]);
    QCOMPARE(open.session.model().Machines[1].LastOldFactor, StandardFarm::kBeta[1]);
    QCOMPARE(open.session.model().Machines[2].LastOldFactor, StandardFarm::kGamma[3]);
  }

  // A site that never answers leaves the window answering, says that it
  // submits, and ends in an error that marks nothing.
  void stalledSiteLeavesTheWindowAnsweringAndMarksNothing() {
    site_->SetFault(StandInSite::Fault::Stall);
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    open.session.setSubmitLimits({.connectTimeout = 1000ms, .stallTimeout = 1000ms});
    clickSubmit(open);
    QCOMPARE(open.find<QLabel>("refreshState")->text(), QString("Submitting…"));
    QVERIFY(open.clickRow(2));  // the window answers meanwhile
    QTRY_COMPARE(open.newFactorsLabel(), QString("New factors: 3"));
    QCOMPARE(open.session.activity(), FarmSession::Activity::Submitting);
    QVERIFY(!open.session.refresh());  // nor does a refresh start inside it

    QTRY_COMPARE_WITH_TIMEOUT(prompter_.shown().size(), size_t{1}, 10000);
    QCOMPARE(prompter_.shown()[0].caption, QString("Error"));
    QVERIFY2(prompter_.shown()[0].text.startsWith("The following error occurred:\n"),
             qPrintable(prompter_.shown()[0].text));
    QCOMPARE(open.session.model().Machines[2].LastOldFactor, StandardFarm::kGamma[0]);
    QCOMPARE(open.find<QLabel>("refreshState")->text(), QString());
    QVERIFY(open.session.refresh());
    QVERIFY(open.settle());
  }

 private:
  static void clickSubmit(OpenWindow& open) {
    QTest::mouseClick(open.find<QPushButton>("submitButton"), Qt::LeftButton);
  }

  ScriptedPrompter prompter_;
  std::unique_ptr<SiteUnderTest> site_;
};

QUILLSTRAND_QTEST_MAIN(SubmitTest)
#include "SubmitTest.moc"
