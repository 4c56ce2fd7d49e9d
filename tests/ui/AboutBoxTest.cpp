#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "support/QtTestClass.h"
#include "ui/CAboutDlg.h"

// The About box and the ways to open it.
class AboutBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void showsNameVersionLinksAndHelp() {
    CAboutDlg about(prompter_);
    QCOMPARE(about.windowTitle(), QString("About quillstrand"));
    QCOMPARE(about.findChild<QLabel*>("nameAndVersion")->text(), QString("quillstrand v1.20"));
    QCOMPARE(about.findChild<QPushButton*>("mailLink")->text(), QString("quillstrand@example.org"));
    QCOMPARE(about.findChild<QPushButton*>("homePageLink")->text(),
             QString("http://quillstrand.example.org/"));
    const QString help = about.findChild<QPlainTextEdit*>("helpText")->toPlainText();
    QVERIFY(
        help.startsWith("All machines are parsed and all new factors are displayed in the "
                        "'New factors' window when the program is started or when "
                        "'Refresh' is clicked.\n"));
    QVERIFY(
        help.endsWith("\n\n'Copy new' copies the displayed new factors to the clipboard and "
                      "optionally launches a URL.\nClick 'Mark as old' once you've "
                      "submitted the new factors."));
    QVERIFY(about.findChild<QPushButton*>("okButton")->isDefault());
  }

  void linksOpenThroughThePrompter_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("url");
    QTest::newRow("mail") << "mailLink"
                          << "mailto:quillstrand@example.org?subject=quillstrand v1.20";
    QTest::newRow("home page") << "homePageLink"
                               << "http://quillstrand.example.org/";
  }
  void linksOpenThroughThePrompter() {
    QFETCH(QString, link);
    QFETCH(QString, url);
    CAboutDlg about(prompter_);
    QTest::mouseClick(about.findChild<QPushButton*>(link), Qt::LeftButton);
    QCOMPARE(prompter_.openedUrls().size(), size_t{1});
    QCOMPARE(prompter_.openedUrls()[0].toString(), url);
  }

  void opensFromTheMainWindow_data() {
    QTest::addColumn<bool>("byKey");
    QTest::newRow("About button") << false;
    QTest::newRow("F1") << true;
  }
  void opensFromTheMainWindow() {
    QFETCH(bool, byKey);
    TestFarm farm;
    OpenWindow open(farm.writeSettings(), prompter_);
    QVERIFY(QTest::qWaitForWindowActive(&open.window));
    QVERIFY(open.settle());
    QString opened;
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      opened = modal->objectName();
      modal->close();
    });
    if (byKey)
      QTest::keyClick(&open.window, Qt::Key_F1);
    else
      QTest::mouseClick(open.find<QPushButton>("aboutButton"), Qt::LeftButton);
    QCOMPARE(opened, QString("aboutBox"));
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
