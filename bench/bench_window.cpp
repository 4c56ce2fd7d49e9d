// The main window over a farm of 1000 machines whose New factors pane gets
// 100,000 lines. A refresh must keep the window's event loop from stalling
// for more than 0.5 s (the apply stage is the only part on its thread), and
// scrolling that pane must stay smooth: a page well under one frame.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QTimer>
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

void BM_RefreshWindow(benchmark::State& state) {
  BigFarm& farm = Farm();
  qint64 longestStall = 0;
  for (auto _ : state) {
    farm.session->refresh();
    longestStall = std::max(longestStall, farm.WaitForRefresh());
  }
  state.counters["longest_stall_ms"] = static_cast<double>(longestStall);
  state.counters["new_factor_lines"] = farm.session->model().NewFactorCount;
}
BENCHMARK(BM_RefreshWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

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
