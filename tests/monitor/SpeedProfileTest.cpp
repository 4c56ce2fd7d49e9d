#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string_view>
#include <vector>

#include "monitor/SpeedProfile.h"

inline void PrintTo(const SpeedPoint& point, std::ostream* out) {
  *out << '{' << point.P << ", " << point.Rate << '}';
}

namespace {

TEST(ReadSpeedProfile, TakesTheReportsOfTheCurrentRange) {
  struct Case {
    std::string_view text;
    uint64_t rangeStart;
    uint64_t pmax;
    std::vector<SpeedPoint> points;
  };
  const std::array cases{
      Case{"pmax=200\npmin=100 : 40 kp/s\npmin=110 : 60 kp/s\n", 100, 200, {{100, 40}, {110, 60}}},
      Case{"pmax=200\r\npmin=100 : 40\r\npmin=110 : 60\r\n", 100, 200, {{100, 40}, {110, 60}}},
      // The last "pmax" line starts the range: earlier reports are another's.
      Case{"pmax=100\npmin=50 : 9\npmax=200\npmin=100 : 40\n", 100, 200, {{100, 40}}},
      Case{"pmax=100\npmin=50 : 9\npmax=200\n", 0, 200, {}},
      // Without a bound the axis is the reports' own.
      Case{"pmin=100 : 40\npmin=150 : 20\n", 100, 0, {{100, 40}, {150, 20}}},
      // A report without a readable rate is no point, but may start the range.
      Case{"pmax=200\npmin=100\npmin=110 : 60\n", 100, 200, {{110, 60}}},
      Case{"pmax=200\npmin=100 : x\npmin=abc : 5\npmin=120 : 7\n", 100, 200, {{120, 7}}},
      Case{"pmax=200\npmin=100 : 4294967296\n", 100, 200, {}},
      // Keys are matched exactly, as the status reading matches them.
      Case{"pmax=200\nPmin=100 : 40\n pmin=100 : 40\npmi=100 : 4\n", 0, 200, {}},
      // A finished range keeps its reports.
      Case{"pmax=200\npmin=150 : 40\nDone\n", 150, 200, {{150, 40}}},
      Case{"", 0, 0, {}},
  };
  for (const auto& [text, rangeStart, pmax, points] : cases) {
    SCOPED_TRACE(text);
    const SpeedProfile profile = ReadSpeedProfile(text);
    EXPECT_EQ(profile.RangeStart, rangeStart);
    EXPECT_EQ(profile.Pmax, pmax);
    EXPECT_EQ(profile.Points, points);
    EXPECT_TRUE(profile.Factors.empty());
  }
}

TEST(FactorsInRange, KeepsFactorLinesBetweenTheBoundsIncluded) {
  constexpr std::string_view kFactors =
      "199 | a\n200 | b\r\n250\n300 | c\n301 | d\n0250 | zero\n 250 | blank\n# 250\n\n";
  EXPECT_EQ(FactorsInRange(kFactors, 200, 300), (std::vector<uint64_t>{200, 250, 300}));
  EXPECT_TRUE(FactorsInRange(kFactors, 0, 0).empty());
  EXPECT_TRUE(FactorsInRange("", 0, UINT64_MAX).empty());
}

TEST(SpeedProfile, AxisEndsAtTheBoundOrTheLastReportBeyondIt) {
  EXPECT_EQ((SpeedProfile{100, 200, {{150, 1}}, {}}.AxisEnd()), 200u);
  EXPECT_EQ((SpeedProfile{100, 0, {{150, 1}}, {}}.AxisEnd()), 150u);
  EXPECT_EQ((SpeedProfile{100, 200, {{250, 1}}, {}}.AxisEnd()), 250u);
  EXPECT_EQ((SpeedProfile{0, 200, {}, {}}.AxisEnd()), 200u);
}

TEST(ChartColumns, FoldsReportsAndFactorsIntoColumnsOfP) {
  struct Case {
    const char* name;
    SpeedProfile profile;
    int columns;
    std::vector<ChartColumn> chart;
  };
  const ChartColumn none;
  const std::array cases{
      // 100..200 in four columns of 25: the end falls in the last column.
      Case{"one report per column",
           {100, 200, {{100, 10}, {130, 20}, {160, 30}, {200, 40}}, {}},
           4,
           {{true, 10, 10, false},
            {true, 20, 20, false},
            {true, 30, 30, false},
            {true, 40, 40, false}}},
      Case{"many reports in one column give its slowest and fastest",
           {100, 200, {{101, 50}, {102, 20}, {103, 90}, {104, 40}}, {}},
           2,
           {{true, 20, 90, false}, none}},
      Case{"factors mark their columns, off-axis ones none",
           {100, 200, {}, {100, 199, 99, 201}},
           2,
           {{false, 0, 0, true}, {false, 0, 0, true}}},
      Case{"reports before the range start are dropped",
           {100, 200, {{50, 5}, {150, 15}}, {}},
           2,
           {none, {true, 15, 15, false}}},
      Case{"a range of one p is one column",
           {100, 100, {{100, 7}}, {}},
           3,
           {{true, 7, 7}, none, none}},
      // Bounds far apart must not overflow on the way to a column.
      Case{"the widest range",
           {0, UINT64_MAX, {{UINT64_MAX, 3}, {UINT64_MAX / 2, 2}}, {}},
           2,
           {none, {true, 2, 3, false}}},
      Case{"no columns", {100, 200, {{150, 1}}, {}}, 0, {}},
  };
  for (const auto& [name, profile, columns, chart] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ChartColumns(profile, columns), chart);
  }
}

}  // namespace
