// The main window over a farm of 1000 machines whose New factors pane gets
// 100,000 lines. A refresh must keep the window's event loop from stalling
// for more than 0.5 s (the apply stage is the only part on its thread), and
// scrolling that pane must stay smooth: a page well under one frame. Sorting
// the machine list by a column, or filtering it, must take under 50 ms.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <memory>
#include <string>

#include "model/Numbers.h"
#include "model/SettingsFile.h"
#include "session/FarmSession.h"
#include "support/FakeFetcher.h"
#include "support/TempDir.h"
#include "ui/CQuillstrandDlg.h"
#include "ui/FactorPane.h"
#include "ui/MachineOrder.h"
#include "ui/Prompter.h"
#include "ui/Startup.h"

namespace {

constexpr uint64_t kMachines = 1000;
constexpr int kFactorsPerMachine = 100;
constexpr uint64_t kBillion = 1'000'000'000;

class SilentPrompter : public Prompter {
 public:
  QMessageBox::StandardButton ask(QWidget*, const QString&, const QString&,
                                  QMessageBox::StandardButtons, QMessageBox::StandardButton answer,
                                  QMessageBox::Icon) override {
    return answer;
  }
  QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  void openUrl(const QUrl&) override {}
};

std::string StatusText(uint64_t start) {
  std::string text = "pmax=" + DecimalText(start + 10 * kBillion) + "\n";
  for (int i = 1; i <= 50; ++i)
    text += "pmin=" + DecimalText(start + i * 10'000'000ULL) + " : 3000 kp/s\n";
  return text;
}

std::string FactorText(uint64_t start) {
  std::string text;
  for (int i = 0; i < kFactorsPerMachine; ++i)
    text +=
        DecimalText(start + 1 + i * 4'999'999ULL) + " | 3*2^" + DecimalText(4'567'891 + i) + "+1\n";
  return text;
}

// A thousand machines, each with a hundred new factors, and the window
// over them after its first refresh.
struct BigFarm {
  BigFarm() {
    Model configured;
    for (uint64_t i = 0; i < kMachines; ++i) {
      const std::string name = DecimalText(i);
      const std::string base = "http://" + name + "/";
      const uint64_t start = (1'500 + 10 * i) * kBillion;
      fetcher->bodies[base + "QsvStatus.dat"] = StatusText(start);
      fetcher->bodies[base + "fact.txt"] = FactorText(start);
      configured.Machines.emplace_back(name, base + "fact.txt", base + "QsvStatus.dat", 0);
    }
    settingsPath = dir.write("quillstrand.ini", SaveSettingsText("", configured));
    session = std::make_unique<FarmSession>(settingsPath, fetcher);
    window = std::make_unique<CQuillstrandDlg>(*session, prompter);
    StartProgram(*session, *window, prompter);
    WaitForRefresh();
  }

  // Runs the event loop until the refresh under way has been shown, and
  // gives the longest the loop went without turning.
  qint64 WaitForRefresh() {
    QEventLoop loop;
    QObject::connect(session.get(), &FarmSession::refreshed, &loop, &QEventLoop::quit);
    QElapsedTimer sinceTurn;
    qint64 longest = 0;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTurn.restart()); });
    sinceTurn.start();
    turns.start(0);
    if (session->refreshing()) loop.exec();
    return std::max(longest, sinceTurn.elapsed());
  }

  TempDir dir;
  std::shared_ptr<FakeFetcher> fetcher = std::make_shared<FakeFetcher>();
  std::string settingsPath;
  SilentPrompter prompter;
  std::unique_ptr<FarmSession> session;
  std::unique_ptr<CQuillstrandDlg> window;
};

BigFarm& Farm() {
  static BigFarm farm;
  return farm;
}

QTreeView* MachineList() { return Farm().window->findChild<QTreeView*>("machineList"); }

MachineOrder& Order() { return *qobject_cast<MachineOrder*>(MachineList()->model()); }

// A refresh of the farm; with 1, while the list is sorted by density and
// filtered to the 271 names that hold a 9.
void BM_RefreshWindow(benchmark::State& state) {
  BigFarm& farm = Farm();
  if (state.range(0) == 1) {
    Order().setSorting({9, Qt::AscendingOrder, false});
    Order().setFilterText("9");
  }
  qint64 longestStall = 0;
  for (auto _ : state) {
    farm.session->refresh();
    longestStall = std::max(longestStall, farm.WaitForRefresh());
  }
  Order().setSorting({});
  Order().setFilterText({});
  state.counters["longest_stall_ms"] = static_cast<double>(longestStall);
  state.counters["new_factor_lines"] = farm.session->model().NewFactorCount;
}
BENCHMARK(BM_RefreshWindow)
    ->ArgName("sorted_filtered")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ScrollNewFactorsPage(benchmark::State& state) {
  auto* pane = Farm().window->findChild<FactorPane*>("newFactorsPane");
  QScrollBar* bar = pane->verticalScrollBar();
  int position = bar->minimum();
  for (auto _ : state) {
    position += bar->pageStep();
    if (position > bar->maximum()) position = bar->minimum();
    bar->setValue(position);
    pane->viewport()->repaint();
  }
  state.counters["lines"] = pane->model()->rowCount();
}
BENCHMARK(BM_ScrollNewFactorsPage)->Unit(benchmark::kMicrosecond);

// Sorting the 1000 rows by a column, each time the other way round, and
// drawing the list's first page.
void BM_SortMachineList(benchmark::State& state) {
  const bool byHealth = state.range(0) < 0;
  const int column = byHealth ? 0 : static_cast<int>(state.range(0));
  bool rising = false;
  for (auto _ : state) {
    rising = !rising;
    Order().setSorting({column, rising ? Qt::AscendingOrder : Qt::DescendingOrder, byHealth});
    MachineList()->viewport()->repaint();
  }
  Order().setSorting({});
  state.counters["rows"] = Order().rowCount();
}
// Name, pmin, ETA, Density; -1: by health.
BENCHMARK(BM_SortMachineList)
    ->ArgName("column")
    ->Arg(0)
    ->Arg(2)
    ->Arg(7)
    ->Arg(9)
    ->Arg(-1)
    ->Unit(benchmark::kMillisecond);

// Filtering the 1000 rows, sorted by pmin, by a text that 271 of the
// names hold and by a state that none is in, each time from no filter.
void BM_FilterMachineList(benchmark::State& state) {
  Order().setSorting({2, Qt::AscendingOrder, false});
  const QString text = state.range(0) == 0 ? QStringLiteral("9") : QStringLiteral("stalled");
  qint64 shown = 0;
  for (auto _ : state) {
    Order().setFilterText(text);
    shown = Order().rowCount();
    MachineList()->viewport()->repaint();
    state.PauseTiming();
    Order().setFilterText({});
    state.ResumeTiming();
  }
  Order().setSorting({});
  state.counters["shown"] = static_cast<double>(shown);
}
BENCHMARK(BM_FilterMachineList)->ArgName("state")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The list sorted and filtered again as a refresh's rows land.
void BM_ReorderMachineListAfterRefresh(benchmark::State& state) {
  Order().setSorting({9, Qt::AscendingOrder, false});
  for (auto _ : state) {
    Order().rowsChanged();
    MachineList()->viewport()->repaint();
  }
  Order().setSorting({});
}
BENCHMARK(BM_ReorderMachineListAfterRefresh)->Unit(benchmark::kMillisecond);

// Setting a pane of a million factor lines and drawing it.
void BM_ShowMillionLinePane(benchmark::State& state) {
  std::string lines;
  for (uint64_t i = 0; i < 1'000'000; ++i)
    lines += DecimalText(1'500 * kBillion + 2 * i + 1) + " | 3*2^1234567+1\r\n";
  const PaneText text(std::move(lines));
  FactorPane pane;
  pane.resize(400, 600);
  pane.show();
  for (auto _ : state) {
    pane.showText(text);
    pane.viewport()->repaint();
  }
  state.counters["lines"] = pane.model()->rowCount();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ShowMillionLinePane)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
