#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "monitor/CellTexts.h"

namespace {

TEST(FormatGeneral3, WritesThreeSignificantDigitsWithAThreeDigitExponent) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    std::string_view text;
  };
  const std::array cases{
      Case{0, "0"},
      Case{100.0 / 3, "33.3"},
      Case{50, "50"},
      Case{99.96, "100"},
      Case{123.4, "123"},
      Case{999.5, "1e+003"},  // rounds up to the next exponent
      Case{5000, "5e+003"},
      Case{12345, "1.23e+004"},
      Case{0.0001, "0.0001"},
      Case{0.000123, "0.000123"},
      Case{0.00001, "1e-005"},
      Case{1.8446744073709552e19, "1.84e+019"},
      Case{1e300, "1e+300"},
      Case{1e-310, "1e-310"},
      Case{-5000, "-5e+003"},
      Case{-2.5, "-2.5"},
      Case{kInfinity, "inf"},
      Case{-kInfinity, "-inf"},
      Case{std::nan(""), "nan"},
  };
  for (const auto& [value, text] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(FormatGeneral3(value), text);
  }
}

Machine WithRange(uint64_t rangeStart, uint64_t pmax, uint64_t currentP) {
  Machine machine;
  machine.RangeStart = rangeStart;
  machine.Pmax = pmax;
  machine.CurrentP = currentP;
  return machine;
}

TEST(PercentDoneText, GivesTheShareOfTheRangeDoneWithoutPercentSign) {
  struct Case {
    uint64_t rangeStart, pmax, currentP;
    std::string_view text;
  };
  const std::array cases{
      Case{100, 200, 150, "50"},
      Case{100, 200, 133, "33"},
      Case{0, 3, 1, "33.3"},
      Case{0, 10000, 9996, "100"},
      Case{100, 200, 200, "100"},
      Case{0, 0, 0, "0"},
      Case{200, 200, 500, "0"},
      Case{100, 200, 300, "200"},
      // Below the range start nothing is done; nor of a range that ends
      // before it starts. No difference may wrap.
      Case{100, 200, 50, "0"},
      Case{100, 200, 0, "0"},
      Case{300, 200, 250, "0"},
      Case{UINT64_MAX, 0, 0, "0"},
      Case{0, UINT64_MAX, UINT64_MAX, "100"},
  };
  for (const auto& [rangeStart, pmax, currentP, text] : cases) {
    SCOPED_TRACE(::testing::Message() << rangeStart << " " << pmax << " " << currentP);
    EXPECT_EQ(PercentDoneText(WithRange(rangeStart, pmax, currentP)), text);
  }
}

TEST(FormatEta, GivesDaysHoursAndMinutesLeftAtTheCurrentSpeed) {
  struct Case {
    uint32_t speed;
    uint64_t left;  // p
    std::string_view text;
  };
  const std::array cases{
      Case{0, 1000, "Big Crunch"},
      Case{0, 0, "Big Crunch"},
      Case{1, 0, "0d 0h 0m"},
      Case{1, 90'119'000, "1d 1h 1m"},  // 1d 1h 1m 59s
      Case{1, 59'000, "0d 0h 0m"},
      Case{10, 3'456'000'000, "4d 0h 0m"},
      Case{1, UINT64_MAX, "213503982334d 14h 25m"},
      // Speeds whose p per second do not fit in 32 bits.
      Case{5'000'000, 5'000'000'000 * 86'400, "1d 0h 0m"},
      Case{536'870'912, 536'870'912'000 * 60, "0d 0h 1m"},  // 2^29 kp/s
      Case{UINT32_MAX, 4'294'967'295'000 * 3600, "0d 1h 0m"},
  };
  for (const auto& [speed, left, text] : cases) {
    SCOPED_TRACE(::testing::Message() << speed << " kp/s, " << left << " p left");
    Machine machine = WithRange(0, UINT64_MAX, UINT64_MAX - left);
    machine.Speed = speed;
    EXPECT_EQ(FormatEta(machine), text);
  }
}

// Past the range end nothing is left, rather than a wrapped 2^64 p.
TEST(FormatEta, GivesNoTimeLeftForAPositionBeyondTheRangeEnd) {
  for (const uint64_t currentP : {uint64_t{101}, UINT64_MAX}) {
    SCOPED_TRACE(currentP);
    Machine machine = WithRange(0, 100, currentP);
    machine.Speed = 1;
    EXPECT_EQ(FormatEta(machine), "0d 0h 0m");
  }
}

TEST(DensityText, GivesFactorsPerBillionSieved) {
  struct Case {
    int32_t factors;
    uint64_t rangeStart, currentP;
    std::string_view text;
  };
  const std::array cases{
      Case{5, 1, 2'000'000'000, "2.5/G"},
      Case{0, 1, 2'000'000'000, "0/G"},
      Case{5, 1'000'000'000, 1'000'999'999, "5e+003/G"},
      Case{1, 7, 7, "1e+009/G"},
      // Below the range start nothing is sieved yet, as at the start; the
      // count of p sieved never wraps.
      Case{5, 1, 0, "5e+009/G"},
      Case{5, 100, 7, "5e+009/G"},
      Case{5, 0, UINT64_MAX, "2.71e-010/G"},
  };
  for (const auto& [factors, rangeStart, currentP, text] : cases) {
    SCOPED_TRACE(::testing::Message() << factors << " in " << rangeStart << "-" << currentP);
    Machine machine = WithRange(rangeStart, 0, currentP);
    machine.RangeFactors = factors;
    EXPECT_EQ(DensityText(machine), text);
  }
}

TEST(SpeedText, GivesKiloPPerSecond) {
  Machine machine;
  machine.Speed = 50;
  EXPECT_EQ(SpeedText(machine), "50 kp/s");
  machine.Speed = 0;
  EXPECT_EQ(SpeedText(machine), "0 kp/s");
}

TEST(NextRangeText, GivesTheFirstQueuedRangeInWholeBillions) {
  struct Case {
    std::vector<Range> queue;
    std::string_view text;
  };
  const std::array cases{
      Case{{}, ""},
      Case{{{12'000'000'000, 15'000'000'000}}, "12-15"},
      Case{{{12'500'000'000, 15'999'999'999}, {20'000'000'000, 21'000'000'000}}, "12-15"},
      Case{{{999'999'999, 1'000'000'000}}, "0-1"},
  };
  for (const auto& [queue, text] : cases) {
    SCOPED_TRACE(text);
    Machine machine;
    machine.QueuedRanges = queue;
    EXPECT_EQ(NextRangeText(machine), text);
  }
}

}  // namespace
