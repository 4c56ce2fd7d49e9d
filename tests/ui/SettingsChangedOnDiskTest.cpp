#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "ModalDialogs.h"
#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "model/SettingsFile.h"
#include "support/QtTestClass.h"
#include "support/SavedSettings.h"

namespace {

enum class Save { Options, Close };

const QString kChanged = "The settings file changed on disk since quillstrand read it.";

}  // namespace

Q_DECLARE_METATYPE(Save)

// A settings file edited by hand while the window is open is not saved
// over without asking.
class SettingsChangedOnDiskTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void asksBeforeSavingOverAHandEdit_data() {
    QTest::addColumn<Save>("save");
    QTest::addColumn<bool>("overwrite");
    QTest::newRow("Options, overwrite") << Save::Options << true;
    QTest::newRow("Options, load again") << Save::Options << false;
    QTest::newRow("close, overwrite") << Save::Close << true;
    QTest::newRow("close, leave it") << Save::Close << false;
  }
  void asksBeforeSavingOverAHandEdit() {
    QFETCH(Save, save);
    QFETCH(bool, overwrite);
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    Model edited = Saved(standard.settingsPath);
    edited.Machines[0].Name = "edited by hand";
    QVERIFY(SaveSettings(standard.settingsPath, edited));

    prompter_.setNextAnswer(overwrite ? QMessageBox::Yes : QMessageBox::No);
    if (save == Save::Options) {
      WhenNextDialogOpens([](QDialog& options) { Click(options, "okButton"); });
      Click(open.window, "optionsButton");
    } else {
      open.window.reject();
    }

    const std::vector<ScriptedPrompter::Shown>& shown = prompter_.shown();
    QVERIFY(!shown.empty());
    QVERIFY2(shown.back().text.startsWith(kChanged), qPrintable(shown.back().text));
    QVERIFY(shown.back().text.contains(QString::fromStdString(standard.settingsPath)));
    QCOMPARE(shown.back().buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(open.settle());
    const Model file = Saved(standard.settingsPath);
    // Closing writes only what the window changed itself (its layout), and
    // so keeps the hand edit whatever the answer.
    const bool overwritten = overwrite && save != Save::Close;
    QCOMPARE(file.Machines[0].Name, std::string(overwritten ? "alpha" : "edited by hand"));
    if (save == Save::Close) return;

    // What the window holds now is what the file holds: no more questions.
    QCOMPARE(open.session.model().Machines[0].Name, file.Machines[0].Name);
    const size_t questions = shown.size();
    open.window.reject();
    QCOMPARE(prompter_.shown().size(), questions);
    QCOMPARE(Saved(standard.settingsPath).Machines[0].Name, file.Machines[0].Name);
  }

  // Marking goes into the file as it is now, without asking: the hand edit
  // stays, and is still one to ask about before the window's own save.
  void marksAreMergedIntoAHandEditWithoutAsking() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    Model edited = Saved(standard.settingsPath);
    edited.Machines[0].Name = "edited by hand";
    QVERIFY(SaveSettings(standard.settingsPath, edited));

    prompter_.setNextAnswer(QMessageBox::Yes);  // sure to mark
    Click(open.window, "markAsOldButton");
    QVERIFY(open.settle());
    QCOMPARE(prompter_.shown().size(), size_t{1});
    const Model file = Saved(standard.settingsPath);
    QCOMPARE(file.Machines[0].Name, std::string("edited by hand"));
    QCOMPARE(file.Machines[0].LastOldFactor, StandardFarm::kAlpha[3]);
    QCOMPARE(file.Machines[2].LastOldFactor, StandardFarm::kGamma[3]);

    prompter_.setNextAnswer(QMessageBox::No);
    open.window.reject();
    QVERIFY(prompter_.shown().back().text.startsWith(kChanged));
    QCOMPARE(Saved(standard.settingsPath).Machines[0].Name, std::string("edited by hand"));
  }

  void ownSavesAndRemovalAskNothing() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    prompter_.setNextAnswer(QMessageBox::Yes);
    Click(open.window, "markAsOldButton");
    WhenNextDialogOpens([](QDialog& options) { Click(options, "okButton"); });
    Click(open.window, "optionsButton");
    QVERIFY(open.settle());
    std::filesystem::remove(standard.settingsPath);
    open.window.reject();
    QCOMPARE(prompter_.shown().size(), size_t{1});  // "Are you sure...?"
    QCOMPARE(Saved(standard.settingsPath).Machines.size(), size_t{3});
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(SettingsChangedOnDiskTest)
#include "SettingsChangedOnDiskTest.moc"
