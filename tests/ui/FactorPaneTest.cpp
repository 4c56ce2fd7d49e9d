#include <QApplication>
#include <QClipboard>
#include <QStringList>
#include <QTest>
#include <climits>
#include <string>

#include "farm/Refresh.h"
#include "session/FactorLinesModel.h"
#include "support/FakeFetcher.h"
#include "support/QtTestClass.h"
#include "support/TempDir.h"
#include "ui/FactorPane.h"

namespace {

// `count` factor lines, each as long as a real one.
std::string FactorFileLines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i)
    text += std::to_string(1'500'000'000'000 + i) + " | 3*2^1234567+1\n";
  return text;
}

}  // namespace

// A factor pane shows and copies the text it was given until it is given
// another, whatever the model holds meanwhile.
class FactorPaneTest : public QObject {
  Q_OBJECT

 private slots:
  void keepsItsTextWhileARefreshPutsAShorterOneInTheModel() {
    TempDir dir;
    Model model;
    model.Machines = {Machine("m", dir.write("m/fact.txt", FactorFileLines(200)), "", 0)};
    QVERIFY(RefreshAll(model, FakeFetcher()));
    FactorPane pane;
    pane.resize(300, 200);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.showText(model.NewFactorsText);
    const QString shown = pane.text();
    QCOMPARE(shown.count('\n'), 200);
    pane.selectAll();

    // The client began its file anew; the window has not shown the
    // refresh yet when the pane is drawn and copied from.
    dir.write("m/fact.txt", FactorFileLines(2));
    QVERIFY(RefreshAll(model, FakeFetcher()));
    QCOMPARE(model.NewFactorCount, 2);
    pane.viewport()->repaint();
    QTest::keySequence(&pane, QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(), shown);
    QCOMPARE(pane.text(), shown);

    pane.showText(model.NewFactorsText);
    QCOMPARE(pane.text(), QString::fromStdString(FactorFileLines(2)));
  }

  void linesOfEachPart_data() {
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("line");
    const QStringList two{"1 | a\r\n2 | b\r\n", "3 | c"};
    QTest::newRow("first") << two << 0 << "1 | a";
    QTest::newRow("last of a part") << two << 1 << "2 | b";
    QTest::newRow("a part without a line end") << two << 2 << "3 | c";
    QTest::newRow("past the end") << two << 3 << "";
    QTest::newRow("before the start") << two << -1 << "";
    QTest::newRow("far past the end") << two << INT_MAX << "";
    QTest::newRow("no text") << QStringList{} << 0 << "";
  }

  void linesOfEachPart() {
    QFETCH(QStringList, parts);
    QFETCH(int, row);
    QFETCH(QString, line);
    PaneText text;
    for (const QString& part : parts) text.append(part.toStdString());
    FactorLinesModel lines;
    lines.setText(std::move(text));
    QCOMPARE(lines.line(row), line);
    QCOMPARE(lines.data(lines.index(row), Qt::DisplayRole).toString(), line);
  }
};

QUILLSTRAND_QTEST_MAIN(FactorPaneTest)
#include "FactorPaneTest.moc"
