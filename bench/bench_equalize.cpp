// How long Equalize takes over a large farm: 1000 machines with 100,000
// queued ranges in all, some of them queued twice. It should plan and
// distribute in well under 100 ms.
#include <benchmark/benchmark.h>

#include <random>

#include "ranges/Equalize.h"

namespace {

constexpr uint64_t kBillion = 1'000'000'000;
constexpr size_t kMachines = 1'000;
constexpr size_t kRangesPerMachine = 100;

// 10 G ranges on whole billions, scattered so that about one in twenty
// overlaps another; current work and speeds as a mixed farm has them.
MachineTable LargeFarm() {
  std::mt19937_64 rng(2024);
  std::uniform_int_distribution<uint64_t> start(0, 400 * kMachines * kRangesPerMachine);
  std::uniform_int_distribution<uint32_t> speed(0, 5'000);
  MachineTable table(kMachines);
  for (size_t i = 0; i < kMachines; ++i) {
    Machine& machine = table[i];
    machine.StatusPath = "/farm/m" + std::to_string(i) + "/QsvStatus.dat";
    machine.Speed = speed(rng);
    machine.Pmax = 2'000 * kBillion;
    machine.CurrentP = machine.Pmax - speed(rng) * kBillion / 100;
    for (size_t j = 0; j < kRangesPerMachine; ++j) {
      const uint64_t from = (1'000 + start(rng)) * kBillion;
      machine.QueuedRanges.push_back({from, from + 10 * kBillion});
    }
  }
  return table;
}

// Every machine of the farm at work: none is left out.
std::vector<EqualizeMachine> AllAtWork(const MachineTable& farm) {
  return EqualizeMachines(farm, std::vector<std::string>(farm.size()));
}

void BM_PlanEqualize(benchmark::State& state) {
  const std::vector<EqualizeMachine> machines = AllAtWork(LargeFarm());
  for (auto _ : state) benchmark::DoNotOptimize(PlanEqualize(machines));
  state.counters["overlaps"] = static_cast<double>(PlanEqualize(machines).Overlaps.size());
}
BENCHMARK(BM_PlanEqualize)->Unit(benchmark::kMillisecond);

void BM_DistributeEqualize(benchmark::State& state) {
  const std::vector<EqualizeMachine> machines = AllAtWork(LargeFarm());
  const EqualizePlan plan = PlanEqualize(machines);
  for (auto _ : state) benchmark::DoNotOptimize(DistributeEqualize(machines, plan));
}
BENCHMARK(BM_DistributeEqualize)->Unit(benchmark::kMillisecond);

// All of it, from the table back into the table.
void BM_Equalize(benchmark::State& state) {
  const MachineTable farm = LargeFarm();
  MachineTable table = farm;
  for (auto _ : state) {
    const std::vector<EqualizeMachine> machines = AllAtWork(farm);
    const EqualizePlan plan = PlanEqualize(machines);
    ApplyEqualize(table, DistributeEqualize(machines, plan));
    benchmark::DoNotOptimize(table.data());
  }
}
BENCHMARK(BM_Equalize)->Unit(benchmark::kMillisecond);

}  // namespace
