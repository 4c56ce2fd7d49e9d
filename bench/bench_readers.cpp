// How fast the readers go through realistic large files held in memory.
// Each should read at least 1 GB of input per second in a Release build.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "model/Numbers.h"
#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"
#include "ranges/QueueFile.h"

namespace {

constexpr uint64_t kBillion = 1'000'000'000;

// A client that reports every 10 minutes, on a new 10 G range every 30 days.
std::string StatusText(int years) {
  const int intervals = years * 52'560;
  std::string text;
  uint64_t p = 1'500 * kBillion;
  for (int i = 0; i < intervals; ++i) {
    if (i % 4'320 == 0) text += "pmax=" + DecimalText(p + 10 * kBillion) + "\n";
    p += 2'314'814;
    text += "pmin=" + DecimalText(p) + " : " + DecimalText(3'000 + i % 997) + " kp/s\n";
  }
  text += "Done\n";
  return text;
}

// A factor file of a million lines, p increasing, with the old mark in the
// middle so that half the lines are new.
struct FactorFile {
  std::string text;
  uint64_t oldMark = 0;
};

FactorFile FactorText() {
  constexpr int kLines = 1'000'000;
  FactorFile file;
  uint64_t p = 1'234'567'890'123;
  for (int i = 0; i < kLines; ++i) {
    p += 1'000 + static_cast<uint64_t>(i % 7'919);
    if (i == kLines / 2) file.oldMark = p;
    file.text += DecimalText(p) + " | 3*2^" + DecimalText(4'567'891 + i) + "+1\n";
  }
  return file;
}

std::string QueueText() {
  std::vector<Range> ranges;
  for (uint64_t g = 1'500; g < 1'500 + 1'000'000; ++g)
    ranges.push_back({g * kBillion, (g + 1) * kBillion});
  return FormatQueuedRanges(ranges);
}

void BM_ParseStatusFile(benchmark::State& state) {
  const std::string text = StatusText(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ParseStatusFile(text, 5));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseStatusFile)->Arg(1)->Arg(10)->ArgName("years");

// The copying into a new pane text is part of the reading. Usually the old
// mark is in the file; a machine whose mark is not (a first reading) has
// every line copied.
void BM_ScanFactorFile(benchmark::State& state) {
  const FactorFile file = FactorText();
  const uint64_t lastOldFactor = state.range(0) ? file.oldMark : 0;
  for (auto _ : state) {
    std::string newText;
    benchmark::DoNotOptimize(
        ScanFactorFile(file.text, lastOldFactor, 0, UINT64_MAX, newText, nullptr));
    benchmark::DoNotOptimize(newText.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.text.size()));
}
BENCHMARK(BM_ScanFactorFile)->Arg(1)->Arg(0)->ArgName("old_mark");

void BM_ParseQueuedRanges(benchmark::State& state) {
  const std::string text = QueueText();
  for (auto _ : state) benchmark::DoNotOptimize(ParseQueuedRanges(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseQueuedRanges);

}  // namespace
