// The Manage ranges dialog over a farm of 1000 machines with 100 queued
// ranges each, 100,000 in all, every queue in its file. It reads every
// queue file in the background as it opens and must show them within
// 0.5 s; Equalize then reads them again, hands out all the ranges again and
// marks every changed row.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>

#include "ScriptedPrompter.h"
#include "model/Numbers.h"
#include "model/SettingsFile.h"
#include "session/FarmSession.h"
#include "support/FakeFetcher.h"
#include "support/TempDir.h"
#include "ui/CNextrangesDlg.h"

namespace {

constexpr uint64_t kMachines = 1000;
constexpr uint64_t kRangesPerMachine = 100;
constexpr uint64_t kBillion = 1'000'000'000;

// Ranges of 10 G with gaps between them, so that Equalize cannot join them.
std::string QueueText(uint64_t machine) {
  std::string text;
  for (uint64_t i = 0; i < kRangesPerMachine; ++i) {
    const uint64_t start = (10'000 + (machine * kRangesPerMachine + i) * 20) * kBillion;
    text += "pmin=" + DecimalText(start) + "\npmax=" + DecimalText(start + 10 * kBillion) + "\n";
  }
  return text;
}

std::string StatusText(uint64_t machine) {
  const uint64_t start = (1'500 + 10 * machine) * kBillion;
  return "pmax=" + DecimalText(start + 10 * kBillion) + "\npmin=" + DecimalText(start) + " : " +
         DecimalText(1000 + machine) + " kp/s\n";
}

// The farm, read once so that the speeds are known.
struct QueuedFarm {
  QueuedFarm() {
    Model configured;
    for (uint64_t i = 0; i < kMachines; ++i) {
      const std::string folder = DecimalText(i) + "/";
      dir.write(folder + "nextrange.txt", QueueText(i));
      configured.Machines.emplace_back(DecimalText(i), dir.write(folder + "fact.txt", ""),
                                       dir.write(folder + "QsvStatus.dat", StatusText(i)), 0);
    }
    const std::string settingsPath = dir.write("quillstrand.ini", SaveSettingsText("", configured));
    session = std::make_unique<FarmSession>(settingsPath, std::make_shared<FakeFetcher>());
    if (!session->loadSettings()) throw std::runtime_error("cannot load " + settingsPath);
    QEventLoop loop;
    QObject::connect(session.get(), &FarmSession::refreshed, &loop, &QEventLoop::quit);
    if (session->refresh()) loop.exec();
  }

  TempDir dir;
  std::unique_ptr<FarmSession> session;
  ScriptedPrompter prompter;
};

QueuedFarm& Farm() {
  static QueuedFarm farm;
  return farm;
}

// Runs the events of this thread until `done` holds.
void ProcessEventsUntil(const std::function<bool()>& done) {
  while (!done()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool QueuesShown(const CNextrangesDlg& dialog) {
  return dialog.findChild<QTreeWidget*>("machineList")->topLevelItem(0)->text(2) != "reading…";
}

void BM_OpenRangesDialog(benchmark::State& state) {
  QueuedFarm& farm = Farm();
  for (auto _ : state) {
    CNextrangesDlg dialog(*farm.session, farm.prompter);
    dialog.show();
    ProcessEventsUntil([&] { return QueuesShown(dialog); });
    QApplication::processEvents();  // laid out and painted
  }
  state.counters["ranges"] = static_cast<double>(kMachines * kRangesPerMachine);
}
BENCHMARK(BM_OpenRangesDialog)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EqualizeInTheDialog(benchmark::State& state) {
  QueuedFarm& farm = Farm();
  CNextrangesDlg dialog(*farm.session, farm.prompter);
  dialog.show();
  ProcessEventsUntil([&] { return QueuesShown(dialog); });
  auto* equalize = dialog.findChild<QPushButton*>("equalizeButton");
  for (auto _ : state) {
    equalize->click();
    ProcessEventsUntil([&] { return equalize->isEnabled(); });
    QApplication::processEvents();
    farm.prompter.reset();
  }
}
BENCHMARK(BM_EqualizeInTheDialog)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
