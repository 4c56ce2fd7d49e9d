#include <QTest>

#include "ScriptedPrompter.h"
#include "model/SettingsFile.h"
#include "support/TempDir.h"
#include "ui/CQuillstrandDlg.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void opensWithTitleAndSettings() {
    TempDir dir;
    const std::string path =
        dir.write("quillstrand.ini", "[Settings]\nMachines=1\n[Machine 0]\nName=alpha\n");
    Model model;
    CQuillstrandDlg window(model, path, prompter_);
    QCOMPARE(window.windowTitle(), QString("quillstrand v1.20"));
    QCOMPARE(model.Machines.size(), size_t{1});
    QCOMPARE(model.Machines[0].Name, std::string("alpha"));
    QVERIFY(prompter_.shown().empty());
  }

  void escapeSavesTheSettings() {
    TempDir dir;
    const std::string path = dir.file("quillstrand.ini");
    Model model;
    CQuillstrandDlg window(model, path, prompter_);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    model.Options.Username = "changed";
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(!window.isVisible());
    Model saved;
    QVERIFY(LoadSettings(path, saved).ok());
    QCOMPARE(saved.Options.Username, std::string("changed"));
  }

  void failuresToReadOrSaveAreShown() {
    TempDir dir;
    const std::string underFile = dir.write("file", "x") + "/quillstrand.ini";
    Model model;
    CQuillstrandDlg unreadable(model, dir.path().string(), prompter_);
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QVERIFY(prompter_.shown()[0].text.contains("Is a directory"));

    prompter_.reset();
    CQuillstrandDlg window(model, underFile, prompter_);
    window.reject();
    QCOMPARE(prompter_.shown().size(), size_t{1});
    QCOMPARE(prompter_.shown()[0].caption, QString("quillstrand"));
    QVERIFY(prompter_.shown()[0].text.contains(QString::fromStdString(underFile)));
    QVERIFY(prompter_.shown()[0].text.contains("Not a directory"));
  }

 private:
  ScriptedPrompter prompter_;
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
