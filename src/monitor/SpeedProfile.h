#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// One report of a sieve client: the p it had reached and its rate over the
// interval that ended there.
struct SpeedPoint {
  uint64_t P = 0;
  uint32_t Rate = 0;  // kp/s

  friend bool operator==(const SpeedPoint&, const SpeedPoint&) = default;
};

// A machine's speed along its current range, with the factors found in it.
struct SpeedProfile {
  uint64_t RangeStart = 0;
  uint64_t Pmax = 0;               // 0 when the status file names no bound
  std::vector<SpeedPoint> Points;  // in file order
  std::vector<uint64_t> Factors;   // p of each factor line inside the range

  // Where the p axis ends: the range's bound, or the last report past it.
  uint64_t AxisEnd() const;
  bool empty() const { return Points.empty(); }

  friend bool operator==(const SpeedProfile&, const SpeedProfile&) = default;
};

// The reports of the current range: the "pmin" lines after the last "pmax"
// line whose p and rate can both be read, and the range they lie in, as
// the status reading takes its range. Factors are left empty.
SpeedProfile ReadSpeedProfile(std::string_view statusText);

// The p of every factor line of `factorText` with rangeStart <= p <= pmax.
std::vector<uint64_t> FactorsInRange(std::string_view factorText, uint64_t rangeStart,
                                     uint64_t pmax);

// What one pixel column of a chart shows: the slowest and fastest report
// whose p falls in it, and whether a factor does.
struct ChartColumn {
  bool HasRate = false;
  uint32_t MinRate = 0;
  uint32_t MaxRate = 0;
  bool HasFactor = false;

  friend bool operator==(const ChartColumn&, const ChartColumn&) = default;
};

// Folds the profile into `columns` equal slices of p from its RangeStart
// to its AxisEnd, so that a chart draws a few strokes per column however
// many reports there are. Points and factors outside the axis are dropped.
std::vector<ChartColumn> ChartColumns(const SpeedProfile& profile, int columns);
