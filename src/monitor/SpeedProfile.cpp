#include "monitor/SpeedProfile.h"

#include <algorithm>

#include "model/Lines.h"
#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"

namespace {

// The column of `p` on an axis of `columns` slices from `start` to `end`,
// or -1 when it lies off the axis. Doubles keep the product of a 64-bit
// offset and the column count from overflowing; a pixel needs no more.
int ColumnOf(uint64_t p, uint64_t start, uint64_t end, int columns) {
  if (p < start || p > end) return -1;
  if (end == start) return 0;
  const double share = static_cast<double>(p - start) / static_cast<double>(end - start);
  return std::min(static_cast<int>(share * columns), columns - 1);
}

}  // namespace

uint64_t SpeedProfile::AxisEnd() const {
  const uint64_t last = Points.empty() ? RangeStart : Points.back().P;
  return std::max(Pmax, last);
}

SpeedProfile ReadSpeedProfile(std::string_view statusText) {
  SpeedProfile profile;
  ForEachCompleteLine(statusText, [&](std::string_view line) {
    const std::string_view key = line.substr(0, 4);
    if (key == "pmax") {
      if (const auto pmax = StatusLineValue(line)) profile.Pmax = *pmax;
      profile.Points.clear();
      profile.RangeStart = 0;
    } else if (key == "pmin") {
      if (profile.RangeStart == 0) profile.RangeStart = StatusLineValue(line).value_or(0);
      if (const auto items = ReadWholePminLine(line))
        profile.Points.push_back({items->p, items->rate});
    }
  });
  return profile;
}

std::vector<uint64_t> FactorsInRange(std::string_view factorText, uint64_t rangeStart,
                                     uint64_t pmax) {
  std::vector<uint64_t> factors;
  ForEachCompleteLine(factorText, [&](std::string_view line) {
    if (!IsFactorLine(line)) return;
    const std::optional<uint64_t> p = ParseLeadingP(line);
    if (p && rangeStart <= *p && *p <= pmax) factors.push_back(*p);
  });
  return factors;
}

std::vector<ChartColumn> ChartColumns(const SpeedProfile& profile, int columns) {
  std::vector<ChartColumn> chart(static_cast<size_t>(std::max(columns, 0)));
  if (chart.empty()) return chart;
  const uint64_t start = profile.RangeStart;
  const uint64_t end = profile.AxisEnd();
  for (const SpeedPoint& point : profile.Points) {
    const int column = ColumnOf(point.P, start, end, columns);
    if (column < 0) continue;
    ChartColumn& slot = chart[static_cast<size_t>(column)];
    slot.MinRate = slot.HasRate ? std::min(slot.MinRate, point.Rate) : point.Rate;
    slot.MaxRate = slot.HasRate ? std::max(slot.MaxRate, point.Rate) : point.Rate;
    slot.HasRate = true;
  }
  for (const uint64_t factor : profile.Factors) {
    const int column = ColumnOf(factor, start, end, columns);
    if (column >= 0) chart[static_cast<size_t>(column)].HasFactor = true;
  }
  return chart;
}
