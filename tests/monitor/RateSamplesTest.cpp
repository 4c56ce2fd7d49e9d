#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

#include "monitor/RateSamples.h"

namespace {

TEST(RateSamples, AveragesTheLastNSamplesInIntegerDivision) {
  struct Case {
    uint32_t slots;
    std::vector<std::optional<uint32_t>> samples;
    uint32_t average;
  };
  const std::array cases{
      Case{3, {30, 60, 90, 120}, 90},  // the ring holds 120, 60, 90
      Case{5, {10, 20}, 15},           // over the 2 samples, not over 5
      Case{5, {10, 15}, 12},
      Case{1, {40, 60}, 60},
      Case{0, {40, 60}, 60},  // 0 slots count as 1
      Case{5, {}, 0},
      // A sample without a rate keeps its slot: 0 at first...
      Case{2, {std::nullopt, 60}, 30},
      // ...the rate of N samples before later.
      Case{2, {10, 20, std::nullopt}, 15},
      // The mean fits in 32 bits though the sum does not: it never wraps.
      Case{2, {4294967295u, 3}, 2147483649u},
      Case{3, {4294967295u, 4294967295u, 4294967295u}, 4294967295u},
      Case{4'000'000'000u, {10, 20, 30}, 20},
  };
  for (const auto& [slots, samples, average] : cases) {
    SCOPED_TRACE(::testing::Message() << slots << " slots, " << samples.size() << " samples");
    RateSamples ring(slots);
    for (const auto& sample : samples) ring.Add(sample);
    EXPECT_EQ(ring.Count(), samples.size());
    EXPECT_EQ(ring.Average(), average);
  }
}

}  // namespace
