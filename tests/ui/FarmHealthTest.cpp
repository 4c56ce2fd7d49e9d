#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTreeView>
#include <array>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "monitor/MachineRow.h"
#include "support/GateFetcher.h"
#include "support/HttpTestServer.h"
#include "support/QtTestClass.h"
#include "ui/HealthLook.h"
#include "ui/PercentBarDelegate.h"

namespace {

// 1 March 2027, 12:00 UTC: the window's clock in every test here.
constexpr int64_t kNow = 1803902400;

enum Row { kWorking, kRunningDry, kFinished, kStalled, kUnreachable, kRows };

void SetModified(const std::string& path, int64_t when) {
  QFile file(QString::fromStdString(path));
  QVERIFY(file.open(QIODevice::ReadWrite));
  QVERIFY(file.setFileTime(QDateTime::fromSecsSinceEpoch(when), QFileDevice::FileModificationTime));
}

// A machine in each state, in the order of Row, at kNow: a long range at
// 50 kp/s, a range that ends in 5h 33m with nothing queued, a finished one
// with two ranges queued, the long range's file untouched for two hours,
// and files that do not exist. The working machine has one new factor.
struct HealthFarm {
  static constexpr char kLongRange[] =
      "pmax=200000000000\npmin=100000000000 : 40 kp/s\npmin=110000000000 : 60 kp/s\n";

  HealthFarm() {
    farm.addLocal("working", kLongRange, FactorLines({100000000003}));
    farm.addLocal("running-dry",
                  "pmax=200000000000\npmin=190000000000 : 50 kp/s\npmin=199000000000 : 50 kp/s\n",
                  "");
    farm.addLocal("finished",
                  "pmax=200000000000\npmin=190000000000 : 50 kp/s\npmin=200000000000 : 50 kp/s\n"
                  "Done\n",
                  "");
    farm.dir().write(
        "finished/nextrange.txt",
        "pmin=300000000000\npmax=310000000000\npmin=310000000000\npmax=320000000000\n");
    farm.addLocal("stalled", kLongRange, "");
    farm.addRemote("unreachable", "/nonexistent/QsvStatus.dat", "/nonexistent/fact.txt");
    settingsPath = farm.writeSettings();
    for (const char* name : {"working", "running-dry", "finished"})
      SetModified(statusPath(name), kNow - 60);
    SetModified(statusPath("stalled"), kNow - 2 * 3600);
  }

  std::string statusPath(const char* name) const {
    return farm.dir().file(std::string(name) + "/QsvStatus.dat");
  }

  TestFarm farm;
  std::string settingsPath;
};

// The window over a farm, judging health at kNow.
struct ClockedWindow : OpenWindow {
  ClockedWindow(const std::string& settingsPath, Prompter& prompter,
                std::shared_ptr<const Fetcher> fetcher = std::make_shared<CurlFetcher>())
      : OpenWindow(settingsPath, prompter, std::move(fetcher)) {
    // Before the event loop turns: no machine has been read yet.
    window.setClock([] { return kNow; });
  }

  const QAbstractItemModel* rows() const { return find<QTreeView>("machineList")->model(); }
  QVariant cell(int row, int column, int role) const {
    return rows()->index(row, column).data(role);
  }
  bool refreshed() {
    session.refresh();
    return settle();
  }
};

// Activates another window, then `window` again, as someone who looks at
// it does.
bool LookAt(QWidget& window) {
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  if (!QTest::qWaitForWindowActive(&elsewhere)) return false;
  window.activateWindow();
  return QTest::qWaitForWindowActive(&window);
}

QImage IconImage(const QVariant& icon) { return icon.value<QIcon>().pixmap(16).toImage(); }

// The contrast ratio of two colours as accessibility guidelines define it:
// from 1 (none) to 21 (black on white).
double Contrast(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& colour) {
    const auto linear = [](double channel) {
      return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
  };
  const double lighter = std::max(luminance(a), luminance(b));
  const double darker = std::min(luminance(a), luminance(b));
  return (lighter + 0.05) / (darker + 0.05);
}

// True when some opaque part of `icon` has a contrast of 3 or more with `base`.
bool Stands(const QImage& icon, const QColor& base) {
  for (int y = 0; y < icon.height(); ++y) {
    for (int x = 0; x < icon.width(); ++x) {
      const QColor pixel = icon.pixelColor(x, y);
      if (pixel.alpha() > 200 && Contrast(pixel, base) >= 3) return true;
    }
  }
  return false;
}

QPalette DarkPalette() {
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(53, 53, 53));
  palette.setColor(QPalette::WindowText, Qt::white);
  palette.setColor(QPalette::Base, QColor(35, 35, 35));
  palette.setColor(QPalette::Text, Qt::white);
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(127, 127, 127));
  palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
  palette.setColor(QPalette::HighlightedText, QColor(35, 35, 35));
  return palette;
}

const QString kDarkStyleSheet = QStringLiteral("QWidget { background: #202020; color: #e0e0e0 }");

// The looks the window is tried in: the light and dark palettes of a style,
// and a dark style sheet over the light palette, which gives the list a
// palette of its own.
QStringList Looks() { return {"light", "dark", "dark style sheet"}; }

void Dress(const QString& look) {
  const std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
  QApplication::setPalette(look == "dark" ? DarkPalette() : fusion->standardPalette());
  if (look == "dark style sheet") qApp->setStyleSheet(kDarkStyleSheet);
}

// The colour a cell's text is drawn in, on the list's own palette.
QColor TextColour(const QTreeView& list, const QModelIndex& index) {
  const QVariant brush = index.data(Qt::ForegroundRole);
  return brush.isNull() ? list.palette().color(QPalette::Text) : brush.value<QBrush>().color();
}

QString Described(const QColor& colour, const QColor& base) {
  return QString("%1 on %2: %3").arg(colour.name(), base.name()).arg(Contrast(colour, base));
}

}  // namespace

// Each machine's health in the machine list, the farm's summary under it,
// and the "(!)" in the title when a machine starts to need someone.
class FarmHealthTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Times in tooltips are local: here, UTC wherever the test runs.
    qputenv("TZ", "UTC");
    tzset();
    if (QSystemTrayIcon::isSystemTrayAvailable())
      QSKIP("a tray takes the warnings that the title shows here");
  }
  void cleanup() {
    prompter_.reset();
    qApp->setStyleSheet(QString());
    QApplication::setPalette(QApplication::style()->standardPalette());
  }

  void rowToolTipExplainsItsHealth_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("working") << int{kWorking} << "range ends in 20d 20h; queue empty";
    QTest::newRow("running dry") << int{kRunningDry} << "queue empty; range ends in 5h 33m";
    QTest::newRow("finished") << int{kFinished} << "2 ranges queued";
    QTest::newRow("stalled") << int{kStalled} << "no progress since 10:00";
    QTest::newRow("unreachable")
        << int{kUnreachable}
        << "status file: /nonexistent/QsvStatus.dat: No such file or directory\n"
           "factor file: /nonexistent/fact.txt: No such file or directory";
  }
  void rowToolTipExplainsItsHealth() {
    QFETCH(int, row);
    QFETCH(QString, toolTip);
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(open.settle());
    for (int column : {0, 5, 10})
      QCOMPARE(open.cell(row, column, Qt::ToolTipRole).toString(), toolTip);
  }

  void eachHealthHasItsOwnIcon() {
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(open.settle());
    for (int row = 0; row < kRows; ++row) {
      QVERIFY(!IconImage(open.cell(row, 0, Qt::DecorationRole)).isNull());
      QVERIFY(open.cell(row, 1, Qt::DecorationRole).isNull());
      for (int other = 0; other < row; ++other)
        QVERIFY2(IconImage(open.cell(row, 0, Qt::DecorationRole)) !=
                     IconImage(open.cell(other, 0, Qt::DecorationRole)),
                 qPrintable(QString("rows %1 and %2").arg(other).arg(row)));
    }
  }

  // Every look of a row reads on the base the list draws it on: each
  // health, and a row not read yet (in italics, the text colour).
  void everyRowReadsOnTheListsBase_data() {
    QTest::addColumn<QString>("look");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("waiting");
    const std::array<const char*, kRows> rows{"working", "running dry", "finished", "stalled",
                                              "unreachable"};
    for (const QString& look : Looks()) {
      for (int row = 0; row < kRows; ++row)
        QTest::addRow("%s: %s", qPrintable(look), rows[static_cast<size_t>(row)])
            << look << row << false;
      QTest::addRow("%s: not read yet", qPrintable(look)) << look << int{kWorking} << true;
    }
  }
  void everyRowReadsOnTheListsBase() {
    QFETCH(QString, look);
    QFETCH(int, row);
    QFETCH(bool, waiting);
    Dress(look);
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    const auto& list = *open.find<QTreeView>("machineList");
    // Before the event loop turns, the first refresh has read no machine.
    if (!waiting) QVERIFY(open.settle());
    QCOMPARE(open.cell(row, 0, Qt::FontRole).isValid(), waiting);
    const QColor base = list.palette().color(QPalette::Base);
    if (look == "dark style sheet") QCOMPARE(base, QColor("#202020"));
    for (const int column : {0, 4, 9}) {
      const QColor colour = TextColour(list, open.rows()->index(row, column));
      QVERIFY2(Contrast(colour, base) >= 4.5, qPrintable(Described(colour, base)));
    }
    QVERIFY(open.settle());
  }

  // The healths differ in colour from each other and from plain text, and
  // every icon has something that stands out from the base.
  void healthColoursAndIconsStandApart_data() {
    QTest::addColumn<QString>("look");
    for (const QString& look : Looks()) QTest::newRow(qPrintable(look)) << look;
  }
  void healthColoursAndIconsStandApart() {
    QFETCH(QString, look);
    Dress(look);
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(open.settle());
    const auto& list = *open.find<QTreeView>("machineList");
    // A working machine looks as any text does.
    QVERIFY(open.cell(kWorking, 3, Qt::ForegroundRole).isNull());
    std::vector<QColor> colours{list.palette().color(QPalette::Text)};
    for (const int row : {kRunningDry, kFinished, kStalled, kUnreachable}) {
      const QColor colour = TextColour(list, open.rows()->index(row, 3));
      for (const QColor& other : colours)
        QVERIFY2(colour != other, qPrintable(QString("row %1: %2").arg(row).arg(colour.name())));
      colours.push_back(colour);
    }
    const QColor base = list.palette().color(QPalette::Base);
    for (int row = 0; row < kRows; ++row)
      QVERIFY2(Stands(IconImage(open.cell(row, 0, Qt::DecorationRole)), base),
               qPrintable(QString("row %1's icon on %2").arg(row).arg(base.name())));
  }

  // The "% done" text of a finished machine lies on its full bar: some of
  // its pixels read on the bar, the row selected or not.
  void percentDoneReadsOverItsBar_data() {
    QTest::addColumn<QString>("look");
    QTest::addColumn<bool>("selected");
    for (const QString& look : Looks()) {
      QTest::addRow("%s", qPrintable(look)) << look << false;
      QTest::addRow("%s, selected", qPrintable(look)) << look << true;
    }
  }
  void percentDoneReadsOverItsBar() {
    QFETCH(QString, look);
    QFETCH(bool, selected);
    Dress(look);
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(open.settle());
    auto* list = open.find<QTreeView>("machineList");
    // Selected without the focus, whose frame some styles shade the row with.
    if (selected)
      list->selectionModel()->select(
          open.rows()->index(kFinished, 0),
          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // Unsmoothed, some pixels have the text's colour itself.
    QFont font = list->font();
    font.setStyleStrategy(QFont::NoAntialias);
    font.setPixelSize(30);
    list->setFont(font);
    QCoreApplication::processEvents();  // the rows are laid out anew
    list->scrollTo(open.rows()->index(kFinished, 5));
    const QImage shot = list->viewport()->grab().toImage();
    const qreal scale = shot.devicePixelRatio();
    const QRect cell = list->visualRect(open.rows()->index(kFinished, 5));
    const QRect pixels(cell.topLeft() * scale, cell.size() * scale);
    // Inside the bar, above the text.
    const QColor bar = shot.pixelColor(pixels.left() + 3 * scale, pixels.top() + 3 * scale);
    QColor text = bar;
    const QRect inner = pixels.adjusted(3 * scale, 3 * scale, -3 * scale, -3 * scale);
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
      for (int x = inner.left(); x <= inner.right(); ++x) {
        if (Contrast(shot.pixelColor(x, y), bar) > Contrast(text, bar))
          text = shot.pixelColor(x, y);
      }
    }
    QVERIFY2(Contrast(text, bar) >= 4.5, qPrintable(Described(text, bar)));
  }

  // A colour is kept where it reads, else shaded darker or lighter, keeping
  // its hue, until it does.
  void readableShadesOnlyWhatDoesNotRead_data() {
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QColor>("background");
    QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white);
    QTest::newRow("dark green on white") << QColor(0, 100, 0) << QColor(Qt::white);
    QTest::newRow("light grey on white") << QColor(190, 190, 190) << QColor(Qt::white);
    QTest::newRow("dark orange on dark grey") << QColor(115, 70, 0) << QColor(35, 35, 35);
    QTest::newRow("green on a light bar") << QColor(0, 120, 0) << QColor(172, 209, 232);
    QTest::newRow("white on mid grey") << QColor(Qt::white) << QColor(128, 128, 128);
    QTest::newRow("grey on the same grey") << QColor(118, 118, 118) << QColor(118, 118, 118);
  }
  void readableShadesOnlyWhatDoesNotRead() {
    QFETCH(QColor, colour);
    QFETCH(QColor, background);
    const QColor readable = Readable(colour, background);
    QVERIFY2(Contrast(readable, background) >= 4.5, qPrintable(Described(readable, background)));
    if (Contrast(colour, background) >= 4.5) QCOMPARE(readable, colour);
    if (colour.hslSaturation() > 0 && readable.lightness() > 20 && readable.lightness() < 235)
      QVERIFY2(std::abs(readable.hslHue() - colour.hslHue()) <= 6, qPrintable(readable.name()));
  }

  void summaryLineCountsTheFarm() {
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(open.settle());
    const QString summary = open.find<QLabel>("farmSummary")->text();
    QVERIFY2(summary.startsWith("1 working, 1 running dry, 1 finished, 1 stalled, 1 unreachable; "
                                "200 kp/s; 1 new factor; farm done "),
             qPrintable(summary));

    SetModified(farm.statusPath("stalled"), kNow);
    QVERIFY(open.refreshed());
    QVERIFY2(open.find<QLabel>("farmSummary")->text().startsWith("2 working, 1 running dry, "),
             qPrintable(open.find<QLabel>("farmSummary")->text()));
  }

  void summaryFollowsTheRowsAsTheyArrive() {
    auto fetcher = std::make_shared<GateFetcher>();
    TestFarm farm;
    for (const char* name : {"done", "held"}) {
      const std::string base = std::string("http://") + name + "/";
      fetcher->serve(base + "QsvStatus.dat",
                     "pmax=200000000000\npmin=199000000000 : 50 kp/s\nDone\n");
      fetcher->serve(base + "fact.txt", "");
      farm.addRemote(name, base + "QsvStatus.dat", base + "fact.txt");
    }
    fetcher->holdNext("http://held/QsvStatus.dat");
    OpenWindow open(farm.writeSettings(), prompter_, fetcher);
    const auto* summary = open.find<QLabel>("farmSummary");
    // The machine not read yet has nothing that warns.
    QTRY_VERIFY2(summary->text().startsWith("1 working, 0 running dry, 1 finished, "),
                 qPrintable(summary->text()));
    QVERIFY(open.session.refreshing());
    fetcher->release();
    QVERIFY(open.settle());
    QVERIFY2(summary->text().startsWith("0 working, 0 running dry, 2 finished, "),
             qPrintable(summary->text()));
  }

  // A location's password shows in no cell and no tooltip: not in the
  // reasons a machine could not be read, nor while its host is waited for.
  void noCellNorToolTipShowsALocationsPassword() {
    const std::string dead = "127.0.0.1:" + std::to_string(UnusedPort());
    TestFarm farm;
    farm.addRemote("far", "http://farm:s3cr3t@" + dead + "/QsvStatus.dat",
                   "http://farm:s3cr3t@" + dead + "/fact.txt");
    farm.addRemote("odd", "https://farm:s3cr3t@m2/QsvStatus.dat",
                   "https://farm:s3cr3t@m2/fact.txt");
    OpenWindow open(farm.writeSettings(), prompter_);
    QVERIFY(open.settle());
    const QAbstractItemModel* rows = open.find<QTreeView>("machineList")->model();
    for (int row = 0; row < rows->rowCount(); ++row) {
      for (int column = 0; column < rows->columnCount(); ++column) {
        for (int role : {int{Qt::DisplayRole}, int{Qt::ToolTipRole}}) {
          const QString text = rows->index(row, column).data(role).toString();
          QVERIFY2(!text.contains("s3cr3t"), qPrintable(text));
        }
      }
    }
    QVERIFY(rows->index(0, 0)
                .data(Qt::ToolTipRole)
                .toString()
                .startsWith(QString::fromStdString("status file: http://farm:***@" + dead)));
    QVERIFY(rows->index(1, 0)
                .data(Qt::ToolTipRole)
                .toString()
                .startsWith("status file: https://farm:***@m2/QsvStatus.dat: "));

    auto fetcher = std::make_shared<GateFetcher>();
    fetcher->serve("http://farm:s3cr3t@m1/QsvStatus.dat", "pmax=200\npmin=100 : 5\n");
    TestFarm waited;
    waited.addRemote("m1", "http://farm:s3cr3t@m1/QsvStatus.dat", "");
    fetcher->holdNext("http://farm:s3cr3t@m1/QsvStatus.dat");
    OpenWindow waiting(waited.writeSettings(), prompter_, fetcher);
    QTRY_COMPARE(fetcher->waiting(), 1);
    const QString toolTip = waiting.find<QTreeView>("machineList")
                                ->model()
                                ->index(0, 0)
                                .data(Qt::ToolTipRole)
                                .toString();
    QVERIFY2(toolTip.startsWith("waiting for farm:***@m1 since "), qPrintable(toolTip));
    fetcher->release();
    QVERIFY(waiting.settle());
  }

  void rowWaitedForKeepsTheLookOfItsLastRead() {
    auto fetcher = std::make_shared<GateFetcher>();
    fetcher->serve("http://done/QsvStatus.dat",
                   "pmax=200000000000\npmin=199000000000 : 50 kp/s\nDone\n");
    fetcher->serve("http://done/fact.txt", "");
    TestFarm farm;
    farm.addRemote("done", "http://done/QsvStatus.dat", "http://done/fact.txt");
    fetcher->holdNext("http://done/QsvStatus.dat");
    // On the wall clock, which the refresh also notes when a position moved.
    OpenWindow open(farm.writeSettings(), prompter_, fetcher);
    const auto cell = [&](int role) {
      return open.find<QTreeView>("machineList")->model()->index(0, 0).data(role);
    };
    QTRY_COMPARE(fetcher->waiting(), 1);
    // Never read: nothing to tell of its health yet.
    QVERIFY(cell(Qt::DecorationRole).isNull());
    QVERIFY(cell(Qt::ToolTipRole).toString().startsWith("waiting for "));
    fetcher->release();
    QVERIFY(open.settle());
    const QImage done = IconImage(cell(Qt::DecorationRole));
    QVERIFY(!done.isNull());

    fetcher->holdNext("http://done/QsvStatus.dat");
    open.session.refresh();
    QTRY_COMPARE(fetcher->waiting(), 1);
    QCOMPARE(IconImage(cell(Qt::DecorationRole)), done);
    const QStringList toolTip = cell(Qt::ToolTipRole).toString().split('\n');
    QVERIFY2(toolTip.first().startsWith("waiting for "), qPrintable(toolTip.first()));
    QCOMPARE(toolTip.last(), QString("queue not known"));
    fetcher->release();
    QVERIFY(open.settle());
  }

  void rowOfAnotherMachineDoesNotKeepTheLastOnesLook() {
    auto fetcher = std::make_shared<GateFetcher>();
    TestFarm farm;
    for (const char* name : {"dry", "other"}) {
      const std::string base = std::string("http://") + name + "/";
      fetcher->serve(base + "QsvStatus.dat", "pmax=200000000000\npmin=199000000000 : 50 kp/s\n");
      fetcher->serve(base + "fact.txt", "");
    }
    farm.addRemote("dry", "http://dry/QsvStatus.dat", "http://dry/fact.txt");
    const std::string settings = farm.writeSettings();
    OpenWindow open(settings, prompter_, fetcher);
    QVERIFY(open.settle());
    const auto cell = [&](int role) {
      return open.find<QTreeView>("machineList")->model()->index(0, 0).data(role);
    };
    QVERIFY(!cell(Qt::DecorationRole).isNull());

    // The table is replaced while the refresh still waits for its machine.
    fetcher->holdNext("http://dry/QsvStatus.dat");
    open.session.refresh();
    QTRY_COMPARE(fetcher->waiting(), 1);
    TestFarm replaced;
    replaced.addRemote("other", "http://other/QsvStatus.dat", "http://other/fact.txt");
    farm.dir().write("quillstrand.ini", ReadFile(replaced.writeSettings()));
    QVERIFY(open.session.reloadSettings());
    QCOMPARE(cell(Qt::DisplayRole).toString(), QString("other"));
    QVERIFY(cell(Qt::DecorationRole).isNull());
    fetcher->release();
    QVERIFY(open.settle());
    QVERIFY(!cell(Qt::DecorationRole).isNull());
  }

  void titleWarnsOnceOfEachNewState() {
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(QTest::qWaitForWindowActive(&open.window));
    const QString title = open.window.windowTitle();
    QVERIFY(open.settle());
    QCOMPARE(open.window.windowTitle(), "(!) " + title);

    // Looking at the window takes the mark away; the same states again
    // bring no new one.
    QVERIFY(LookAt(open.window));
    QCOMPARE(open.window.windowTitle(), title);
    QVERIFY(open.refreshed());
    QCOMPARE(open.window.windowTitle(), title);

    // Working again warns of nothing; stalled anew warns again.
    SetModified(farm.statusPath("stalled"), kNow);
    QVERIFY(open.refreshed());
    QCOMPARE(open.window.windowTitle(), title);
    SetModified(farm.statusPath("stalled"), kNow - 2 * 3600);
    QVERIFY(open.refreshed());
    QCOMPARE(open.window.windowTitle(), "(!) " + title);
  }

  void aMachineRenamedOrMovedUpWarnsNoMore() {
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(QTest::qWaitForWindowActive(&open.window));
    const QString title = open.window.windowTitle();
    QVERIFY(open.settle());
    QVERIFY(LookAt(open.window));
    QCOMPARE(open.window.windowTitle(), title);

    // Without the working machine every other moves up a row, and the
    // stalled one has a new name: still the machines warned of.
    MachineTable machines = open.session.model().Machines;
    machines.erase(machines.begin());
    machines[kStalled - 1].Name = "stalled-box";
    QVERIFY(open.session.replaceFarm(open.session.model().Options, machines));
    QVERIFY(open.refreshed());
    QCOMPARE(open.window.windowTitle(), title);
  }

  void numbersAreRightAligned() {
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(open.settle());
    const QAbstractItemModel* rows = open.rows();
    for (int column = 0; column < static_cast<int>(kMachineColumnCount); ++column) {
      const Qt::Alignment horizontal = column == 0 ? Qt::AlignLeft : Qt::AlignRight;
      QCOMPARE(Qt::Alignment(open.cell(kWorking, column, Qt::TextAlignmentRole).toInt()) &
                   Qt::AlignHorizontal_Mask,
               horizontal);
      QCOMPARE(
          Qt::Alignment(rows->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt()) &
              Qt::AlignHorizontal_Mask,
          horizontal);
    }
  }

  void headerToolTipsSayWhatEachColumnMeans() {
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    const QAbstractItemModel* rows = open.rows();
    for (int column = 0; column < static_cast<int>(kMachineColumnCount); ++column) {
      const QString header = rows->headerData(column, Qt::Horizontal).toString();
      const QString toolTip = rows->headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString();
      QVERIFY2(toolTip.startsWith(header + ": ") && toolTip.size() > header.size() + 10,
               qPrintable(toolTip));
    }
    QCOMPARE(rows->headerData(8, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QString("Factors: factors found in the current range"));
    QVERIFY(open.settle());
  }

  void percentDoneIsDrawnAsABar() {
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(open.settle());
    auto* list = open.find<QTreeView>("machineList");
    QCOMPARE(open.cell(kWorking, 5, Qt::DisplayRole).toString(), QString("10"));
    QCOMPARE(open.cell(kFinished, 5, Qt::DisplayRole).toString(), QString("100"));
    const QImage shot = list->viewport()->grab().toImage();
    // Above the digits, at a share of the cell's width.
    const auto pixel = [&](int row, int column, double share) {
      const QRect cell = list->visualRect(open.rows()->index(row, column));
      const QPoint point(cell.left() + static_cast<int>(cell.width() * share), cell.top() + 3);
      return shot.valid(point) ? shot.pixel(point) : QRgb{0};
    };
    for (const int row : {kWorking, kFinished}) {
      // The speed's cell has no bar: the row's own background.
      const QRgb empty = pixel(row, 6, 0.05);
      QVERIFY(empty != 0);
      QVERIFY(pixel(row, 5, 0.05) != empty);
      QCOMPARE(pixel(row, 5, 0.5) == empty, row == kWorking);
    }
  }

  void doneShareOfTheCellText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("share");
    QTest::newRow("a third") << "33.3" << 0.333;
    QTest::newRow("none") << "0" << 0.0;
    QTest::newRow("all") << "100" << 1.0;
    QTest::newRow("beyond the range") << "1.84e+019" << 1.0;
    QTest::newRow("no number") << "nan" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
  }
  void doneShareOfTheCellText() {
    QFETCH(QString, text);
    QFETCH(double, share);
    QCOMPARE(DoneShare(text), share);
  }

  // The header's "Sort by health" puts the machines that need someone
  // first; a click on the Name header then turns it round.
  void sortByHealthPutsTheWorstFirst() {
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(open.settle());
    QHeaderView* header = open.find<QTreeView>("machineList")->header();
    auto* byHealth = header->findChild<QAction*>("sortByHealth");
    byHealth->trigger();
    const QStringList worstFirst{"unreachable", "stalled", "running-dry", "finished", "working"};
    QCOMPARE(shownNames(open), worstFirst);
    QVERIFY(byHealth->isChecked());
    emit header->sectionClicked(0);
    QCOMPARE(shownNames(open), QStringList(worstFirst.rbegin(), worstFirst.rend()));
    byHealth->trigger();
    QCOMPARE(shownNames(open),
             (QStringList{"working", "running-dry", "finished", "stalled", "unreachable"}));
  }

  // The filter finds a machine by the word of its state, as the tooltips
  // and the summary write it.
  void filterFindsMachinesByState_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("stalled") << "stalled" << QStringList{"stalled"};
    QTest::newRow("running dry, in capitals") << "RUNNING DRY" << QStringList{"running-dry"};
    QTest::newRow("unreachable") << "unreach" << QStringList{"unreachable"};
    QTest::newRow("name or state") << "ing" << QStringList{"working", "running-dry"};
  }
  void filterFindsMachinesByState() {
    QFETCH(QString, text);
    QFETCH(QStringList, shown);
    HealthFarm farm;
    ClockedWindow open(farm.settingsPath, prompter_);
    QVERIFY(open.settle());
    open.find<QLineEdit>("machineFilter")->setText(text);
    QCOMPARE(shownNames(open), shown);
  }

 private:
  ScriptedPrompter prompter_;

  static QStringList shownNames(const ClockedWindow& open) {
    QStringList names;
    for (int row = 0; row < open.rows()->rowCount(); ++row)
      names << open.cell(row, 0, Qt::DisplayRole).toString();
    return names;
  }
};

QUILLSTRAND_QTEST_MAIN(FarmHealthTest)
#include "FarmHealthTest.moc"
