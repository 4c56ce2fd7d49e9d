#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTest>
#include <QTreeView>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "model/SettingsFile.h"
#include "support/QtTestClass.h"
#include "support/SavedSettings.h"
#include "ui/DialogUnits.h"

namespace {

void Remember(const std::string& settingsPath, const WindowLayout& layout) {
  Model model = Saved(settingsPath);
  model.Options.Window = layout;
  QVERIFY(SaveSettings(settingsPath, model));
}

QSize Available(const QWidget& window) { return window.screen()->availableGeometry().size(); }

std::vector<int32_t> ColumnWidths(const OpenWindow& open) {
  const QHeaderView* header = open.find<QTreeView>("machineList")->header();
  std::vector<int32_t> widths;
  for (int column = 0; column < header->count(); ++column)
    widths.push_back(header->sectionSize(column));
  return widths;
}

QHeaderView* Header(const OpenWindow& open) {
  return open.find<QTreeView>("machineList")->header();
}

// Drags the right edge of `column`'s header section by `by` pixels, as the
// user does.
void DragColumnEdge(QHeaderView* header, int column, int by) {
  const QPoint edge(header->sectionViewportPosition(column) + header->sectionSize(column) - 1,
                    header->height() / 2);
  QTest::mousePress(header->viewport(), Qt::LeftButton, {}, edge);
  QTest::mouseMove(header->viewport(), edge + QPoint(by / 2, 0));
  QTest::mouseMove(header->viewport(), edge + QPoint(by, 0));
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, edge + QPoint(by, 0));
}

// A status file of a range from `pmin` to `pmax` at `speed` kp/s, the
// position `done` p into it.
std::string StatusText(uint64_t pmin, uint64_t pmax, uint64_t done, const char* speed) {
  const std::string rate = std::string(" : ") + speed + " kp/s\n";
  return "pmax=" + std::to_string(pmax) + "\npmin=" + std::to_string(pmin) + rate +
         "pmin=" + std::to_string(pmin + done) + rate;
}

constexpr uint64_t kTenTo16 = 10'000'000'000'000'000;

// Columns whose texts are cut, with the text: every cell's text and the
// header's take no more room than the section leaves them beside its
// margins (and the icon, by the name).
QStringList CutTexts(const QTreeView& list) {
  const QHeaderView& header = *list.header();
  const QAbstractItemModel& rows = *list.model();
  const int margins = 2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
  const int icon = list.style()->pixelMetric(QStyle::PM_SmallIconSize) + margins;
  QStringList cut;
  for (int column = 0; column < header.count(); ++column) {
    const int room = header.sectionSize(column) - margins - (column == 0 ? icon : 0);
    if (header.sectionSizeHint(column) > header.sectionSize(column) ||
        // What the list itself counts as the column's contents' need.
        static_cast<const QAbstractItemView&>(list).sizeHintForColumn(column) >
            header.sectionSize(column))
      cut << rows.headerData(column, Qt::Horizontal).toString();
    for (int row = 0; row < rows.rowCount(); ++row) {
      const QModelIndex index = rows.index(row, column);
      const QVariant font = index.data(Qt::FontRole);
      const QFontMetrics metrics(font.isValid() ? font.value<QFont>().resolve(list.font())
                                                : list.font());
      if (metrics.horizontalAdvance(index.data().toString()) > room) cut << index.data().toString();
    }
  }
  return cut;
}

// A machine far along, p of 17 digits and a long name, beside two with
// shorter texts; one of those has a density in exponent notation.
struct FarAlongFarm {
  FarAlongFarm() {
    farm.addLocal("short", StatusText(100'000'000'000, 200'000'000'000, 1000, "40"),
                  FactorLines({100'000'000'003}));
    farm.addLocal("still-zero-by-2027-03-01-and-more",
                  StatusText(kTenTo16, kTenTo16 + 100'000'000'000'000, 1'000'000, "17870"), "");
    farm.addLocal("dense", StatusText(500'000'000'000, 600'000'000'000, 10, "12"),
                  FactorLines({500'000'000'003, 500'000'000'007}));
    settingsPath = farm.writeSettings();
  }
  void rewrite(const char* machine, const std::string& status) {
    farm.dir().write(std::string(machine) + "/QsvStatus.dat", status);
  }

  TestFarm farm;
  std::string settingsPath;
};

std::vector<int32_t> SplitterSizes(const OpenWindow& open) {
  const QList<int> sizes = open.find<QSplitter>("mainSplitter")->sizes();
  return {sizes.begin(), sizes.end()};
}

}  // namespace

// The window opens as it was left, within the screen, and the settings
// file keeps what the user changed of it.
class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { prompter_.reset(); }

  void layoutLeftAtCloseIsWhereTheWindowOpensNext() {
    StandardFarm standard;
    WindowLayout left;
    {
      OpenWindow open(standard.settingsPath, prompter_);
      QVERIFY(open.settle());
      open.window.resize(QSize(640, 480).boundedTo(Available(open.window)));
      auto* splitter = open.find<QSplitter>("mainSplitter");
      const QList<int> sizes = splitter->sizes();
      splitter->setSizes({sizes[0] + 40, sizes[1] - 40, sizes[2]});
      DragColumnEdge(Header(open), 0, 30);
      left = {open.window.width(), open.window.height(), SplitterSizes(open), ColumnWidths(open)};
      open.window.reject();
    }
    QCOMPARE(Saved(standard.settingsPath).Options.Window, left);

    OpenWindow again(standard.settingsPath, prompter_);
    QVERIFY(again.settle());
    QCOMPARE(again.window.size(), QSize(left.Width, left.Height));
    QCOMPARE(SplitterSizes(again), left.SplitterSizes);
    QCOMPARE(ColumnWidths(again), left.ColumnWidths);
  }

  // Whatever it remembers, or if nothing, the window opens within the
  // screen's room; a close that changed nothing keeps what was remembered.
  void opensWithinTheScreenAndKeepsAnUntouchedLayout_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("never saved") << 0 << 0;
    QTest::newRow("saved on a larger screen") << 5000 << 4000;
    QTest::newRow("wider only") << 5000 << 400;
  }
  void opensWithinTheScreenAndKeepsAnUntouchedLayout() {
    QFETCH(int, width);
    QFETCH(int, height);
    StandardFarm standard;
    const WindowLayout remembered{width, height, {}, {}};
    Remember(standard.settingsPath, remembered);
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    const QSize available = Available(open.window);
    QVERIFY(open.window.width() <= available.width());
    QVERIFY(open.window.height() <= available.height());
    if (height == 400) QCOMPARE(open.window.height(), 400);
    open.window.reject();
    QCOMPARE(Saved(standard.settingsPath).Options.Window, remembered);
  }

  // No text is cut, whatever p has grown to; a refresh bringing a wider
  // value widens its column and narrows none.
  void columnsShowTheirWholeTexts() {
    FarAlongFarm farAlong;
    OpenWindow open(farAlong.settingsPath, prompter_);
    QVERIFY(open.settle());
    const auto& list = *open.find<QTreeView>("machineList");
    QCOMPARE(open.session.machineRow(1).cells[2], QString("10000000000000000"));
    QVERIFY2(open.session.machineRow(2).cells[9].contains("e+"),
             qPrintable(open.session.machineRow(2).cells[9]));
    QCOMPARE(CutTexts(list), QStringList());
    const std::vector<int32_t> before = ColumnWidths(open);

    farAlong.rewrite("short", StatusText(100'000'000'000, 200'000'000'000, 1000, "4000000000"));
    open.session.refresh();
    QVERIFY(open.settle());
    QCOMPARE(open.session.machineRow(0).cells[6], QString("4000000000 kp/s"));
    QCOMPARE(CutTexts(list), QStringList());
    const std::vector<int32_t> after = ColumnWidths(open);
    QVERIFY(after[6] > before[6]);
    for (size_t column = 0; column < after.size(); ++column)
      QVERIFY(after[column] >= before[column]);
  }

  // Where the screen has the room, the window opens wide enough for every
  // column; where it has not, as wide as the screen, and the list scrolls
  // sideways. A small font makes the room on the test's small screen.
  void firstSizeShowsEveryColumnWhereTheScreenAllows_data() {
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("room") << 6;
    QTest::newRow("no room") << 0;
  }
  void firstSizeShowsEveryColumnWhereTheScreenAllows() {
    QFETCH(int, pixelSize);
    const QFont usual = QApplication::font();
    QFont font = usual;
    if (pixelSize > 0) font.setPixelSize(pixelSize);
    QApplication::setFont(font);
    FarAlongFarm farAlong;
    OpenWindow open(farAlong.settingsPath, prompter_);
    QVERIFY(open.settle());
    QApplication::setFont(usual);
    const auto& list = *open.find<QTreeView>("machineList");
    const int available = Available(open.window).width();
    QCOMPARE(open.window.frameGeometry().width() < available, pixelSize > 0);
    QCOMPARE(open.window.width() > DialogUnits(open.window.font()).x(557), pixelSize > 0);
    QCOMPARE(list.header()->length() <= list.viewport()->width(), pixelSize > 0);
  }

  // A width the user dragged stays through refreshes and the next start;
  // widths the user never set are not saved, so the next start fits them
  // to its own texts.
  void draggedWidthsStayAndOthersAreFittedAgain() {
    FarAlongFarm farAlong;
    std::vector<int32_t> fitted, dragged;
    {
      OpenWindow open(farAlong.settingsPath, prompter_);
      QVERIFY(open.settle());
      fitted = ColumnWidths(open);
      open.window.resize(open.window.size() - QSize(10, 10));
      open.window.reject();
    }
    const WindowLayout undragged = Saved(farAlong.settingsPath).Options.Window;
    QVERIFY(undragged.Width > 0);
    QCOMPARE(undragged.ColumnWidths, std::vector<int32_t>());
    {
      OpenWindow open(farAlong.settingsPath, prompter_);
      QVERIFY(open.settle());
      QCOMPARE(ColumnWidths(open), fitted);
      DragColumnEdge(Header(open), 6, -20);
      dragged = ColumnWidths(open);
      QCOMPARE(dragged[6], fitted[6] - 20);
      farAlong.rewrite("short", StatusText(100'000'000'000, 200'000'000'000, 1000, "4000000000"));
      open.session.refresh();
      QVERIFY(open.settle());
      QCOMPARE(ColumnWidths(open), dragged);
      open.window.reject();
    }
    QCOMPARE(Saved(farAlong.settingsPath).Options.Window.ColumnWidths, dragged);
    OpenWindow again(farAlong.settingsPath, prompter_);
    QVERIFY(again.settle());
    QCOMPARE(ColumnWidths(again), dragged);
  }

  // Widths saved for another set of columns, or sizes for other panes, are
  // not forced onto these.
  void layoutOfOtherPartsIsLeftAside() {
    StandardFarm standard;
    std::vector<int32_t> ownWidths, ownSizes;
    {
      OpenWindow open(standard.settingsPath, prompter_);
      QVERIFY(open.settle());
      ownWidths = ColumnWidths(open);
      ownSizes = SplitterSizes(open);
    }
    Remember(standard.settingsPath, {0, 0, {10, 10}, {300, 300, 300}});
    OpenWindow open(standard.settingsPath, prompter_);
    QVERIFY(open.settle());
    QCOMPARE(ColumnWidths(open), ownWidths);
    QCOMPARE(SplitterSizes(open), ownSizes);
  }

 private:
  ScriptedPrompter prompter_;
};

QUILLSTRAND_QTEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"
