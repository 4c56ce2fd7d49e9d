#include <QImage>
#include <QSplitter>
#include <QTest>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "support/QtTestClass.h"
#include "ui/SpeedChart.h"

namespace {

// Pixels of the chart drawn in `role`'s colour.
int PixelsIn(SpeedChart& chart, QPalette::ColorRole role) {
  QImage image(chart.size(), QImage::Format_RGB32);
  chart.render(&image);
  const QRgb colour = chart.palette().color(role).rgb();
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == colour;
  return count;
}

}  // namespace

// The speed chart under the panes, for the machine selected last.
class SpeedChartTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void drawsTheSelectedMachinesSpeedAndFactors() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    auto* chart = open.find<SpeedChart>("speedChart");
    QVERIFY(!chart->emptyText().isEmpty());
    QCOMPARE(PixelsIn(*chart, QPalette::Highlight), 0);
    QVERIFY(open.clickMachine(0));
    QCOMPARE(chart->emptyText(), QString());
    QVERIFY(PixelsIn(*chart, QPalette::Highlight) > 0);
    const SpeedProfile& profile = open.session.chart().profile;
    QCOMPARE(profile.Points.size(), size_t{2});
    QCOMPARE(profile.Factors.size(), std::size(StandardFarm::kAlpha));
  }

  void saysWhyThereIsNothingToDraw_data() {
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("text");
    QTest::newRow("status file missing") << false << "gone: status file: ";
    QTest::newRow("range without reports") << true << "gone: no status lines in this range yet";
  }
  void saysWhyThereIsNothingToDraw() {
    QFETCH(bool, readable);
    QFETCH(QString, text);
    TestFarm farm;
    if (readable)
      farm.addLocal("gone", "pmax=200000000000\n", FactorLines({150000000001}));
    else
      farm.addRemote("gone", farm.dir().file("nowhere/QsvStatus.dat"),
                     farm.dir().file("nowhere/fact.txt"));
    OpenWindow open(farm.writeSettings(), prompter_);
    QVERIFY(open.settle());
    QVERIFY(open.clickMachine(0));
    auto* chart = open.find<SpeedChart>("speedChart");
    QVERIFY2(chart->emptyText().startsWith(text), qPrintable(chart->emptyText()));
    QCOMPARE(PixelsIn(*chart, QPalette::Highlight), 0);
  }

  // A chart closed by its splitter reads nothing until it is opened again.
  void closedChartIsReadWhenOpened() {
    StandardFarm standard;
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    auto* splitter = open.find<QSplitter>("mainSplitter");
    const QList<int> sizes = splitter->sizes();
    splitter->setSizes({sizes[0], sizes[1] + sizes[2], 0});
    QVERIFY(open.clickMachine(2));
    QVERIFY(open.session.chart().machine.isEmpty());
    splitter->setSizes(sizes);
    QVERIFY(open.settle());
    QCOMPARE(open.session.chart().machine, QString("gamma"));
    QCOMPARE(open.find<SpeedChart>("speedChart")->emptyText(), QString());
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(SpeedChartTest)
#include "SpeedChartTest.moc"
