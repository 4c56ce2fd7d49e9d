#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QTreeView>

#include "ScriptedPrompter.h"
#include "WindowFixture.h"
#include "model/SettingsFile.h"
#include "support/QtTestClass.h"

namespace {

Model Saved(const std::string& settingsPath) {
  Model saved;
  if (!LoadSettings(settingsPath, saved)) return {};
  return saved;
}

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
      open.find<QTreeView>("machineList")->setColumnWidth(0, 150);
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
