// The speed chart of a machine with a status file of 100,000 reports and
// a factor file of 10,000 factors, read from their texts and drawn on an
// offscreen image of the size it has in the window: the goal is under
// 50 ms for both together.
#include <benchmark/benchmark.h>

#include <QImage>
#include <string>

#include "monitor/SpeedProfile.h"
#include "ui/SpeedChart.h"

namespace {

constexpr uint64_t kStart = 1'000'000'000'000;
constexpr uint64_t kEnd = 1'100'000'000'000;
constexpr int kReports = 100'000;
constexpr int kFactors = 10'000;

std::string StatusText() {
  std::string text = "pmax=" + std::to_string(kEnd) + "\n";
  const uint64_t step = (kEnd - kStart) / kReports;
  for (int i = 0; i < kReports; ++i)
    text += "pmin=" + std::to_string(kStart + i * step) + " : " + std::to_string(900 + i % 97) +
            " kp/s\n";
  return text;
}

std::string FactorText() {
  std::string text;
  const uint64_t step = (kEnd - kStart) / kFactors;
  for (int i = 0; i < kFactors; ++i)
    text += std::to_string(kStart + i * step + 7) + " | 3*2^1234567+1\n";
  return text;
}

SpeedChartData ReadChart(const std::string& status, const std::string& factors) {
  SpeedChartData chart{"box", ReadSpeedProfile(status), {}};
  chart.profile.Factors =
      FactorsInRange(factors, chart.profile.RangeStart, chart.profile.AxisEnd());
  return chart;
}

void BM_ReadAndDrawChart(benchmark::State& state) {
  const std::string status = StatusText();
  const std::string factors = FactorText();
  SpeedChart chart;
  chart.resize(900, 140);
  QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    chart.showChart(ReadChart(status, factors));
    chart.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["reports"] = kReports;
}
BENCHMARK(BM_ReadAndDrawChart)->Unit(benchmark::kMillisecond);

// Drawing alone, as each repaint of the window does.
void BM_DrawChart(benchmark::State& state) {
  SpeedChart chart;
  chart.resize(900, 140);
  chart.showChart(ReadChart(StatusText(), FactorText()));
  QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    chart.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_DrawChart)->Unit(benchmark::kMillisecond);

}  // namespace
