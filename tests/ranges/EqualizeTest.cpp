#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <set>

#include "ranges/Equalize.h"

// Readable failure messages for queues.
inline void PrintTo(const Range& range, std::ostream* out) {
  *out << range.Pmin << '-' << range.Pmax;
}

namespace {

constexpr uint64_t G = 1'000'000'000;
constexpr uint64_t kTop = UINT64_MAX;

using Queue = std::vector<Range>;

EqualizeMachine Sieving(uint32_t speed, uint64_t work, Queue queue = {}) {
  return {true, speed, work, std::move(queue), {}};
}

// A machine with an http status location, or none: it has no queue file.
EqualizeMachine WithoutQueueFile(uint32_t speed, Queue queue = {}) {
  return {false, speed, 10 * G, std::move(queue), {}};
}

TEST(EqualizeMachines, CopiesWhatEqualizeNeedsOfEveryMachine) {
  MachineTable table(5);
  table[0].StatusPath = "/m0/QsvStatus.dat";
  table[0].Speed = 100;
  table[0].Pmax = 30 * G;
  table[0].CurrentP = 12 * G;
  table[0].QueuedRanges = {{40 * G, 50 * G}};
  table[1].StatusPath = "http://m1/QsvStatus.dat";
  table[1].Speed = 70;
  table[2].StatusPath = "";
  table[2].QueuedRanges = {{1, 2}};
  table[3].StatusPath = R"(C:\m3\QsvStatus.dat)";
  table[3].Speed = 5;
  table[3].Pmax = 30 * G;  // a position past the end leaves no work
  table[3].CurrentP = 31 * G;
  // Left out: its ranges are gathered, and it takes no part.
  table[4].StatusPath = "/m4/QsvStatus.dat";
  table[4].Speed = 900;
  table[4].Pmax = 30 * G;
  table[4].CurrentP = 20 * G;
  table[4].QueuedRanges = {{60 * G, 70 * G}};
  const std::string stalled = "stalled: no progress since 14:02";
  EXPECT_EQ(EqualizeMachines(table, {"", "", "", "", stalled}),
            (std::vector<EqualizeMachine>{{true, 100, 18 * G, {{40 * G, 50 * G}}, {}},
                                          {false, 70, 0, {}, {}},
                                          {false, 0, 0, {{1, 2}}, {}},
                                          {true, 5, 0, {}, {}},
                                          {false, 900, 10 * G, {{60 * G, 70 * G}}, stalled}}));
}

TEST(LeftOutMessages, NameEachMachineLeftOutAndWhy) {
  MachineTable table(3);
  table[0].Name = "box1";
  table[1].Name = "box2";
  table[2].Name = "box3";
  const std::vector<EqualizeMachine> machines{
      {false, 0, 0, {{10 * G, 20 * G}}, "stalled: no progress since 14:02"},
      Sieving(100, 0, {{30 * G, 40 * G}}),
      {false, 0, 0, {}, "unreachable: /m3/QsvStatus.dat: No such file or directory"}};
  EXPECT_EQ(LeftOutMessages(table, machines),
            (std::vector<std::string>{
                "box1: left out (stalled: no progress since 14:02); its queued ranges go to the "
                "others",
                "box3: left out (unreachable: /m3/QsvStatus.dat: No such file or directory)"}));
}

TEST(PlanEqualize, NeedsTheSpeedOfAMachineThatTakesPart) {
  const std::array cases{
      std::vector<EqualizeMachine>{},
      std::vector{WithoutQueueFile(100, {{10 * G, 20 * G}}), WithoutQueueFile(5)},
      std::vector{Sieving(0, G, {{10 * G, 20 * G}}), Sieving(0, 0)},
  };
  for (const auto& machines : cases) {
    SCOPED_TRACE(machines.size());
    EXPECT_FALSE(PlanEqualize(machines).SpeedKnown());
  }
  EXPECT_TRUE(PlanEqualize({Sieving(0, 0), Sieving(1, 0)}).SpeedKnown());
}

TEST(PlanEqualize, PoolsTheExactUnionAndFindsEveryPGatheredTwice) {
  struct Case {
    const char* name;
    std::vector<Queue> queues;  // one machine each
    Queue pool, overlaps;
  };
  const std::array cases{
      Case{"the same range on two machines",
           {{{10 * G, 20 * G}}, {{10 * G, 20 * G}}},
           {{10 * G, 20 * G}},
           {{10 * G, 20 * G}}},
      Case{"one ends where the other begins",
           {{{10 * G, 20 * G}}, {{20 * G, 30 * G}}},
           {{10 * G, 30 * G}},
           {}},
      Case{"overlapping",
           {{{10 * G, 30 * G}}, {{20 * G, 40 * G}}},
           {{10 * G, 40 * G}},
           {{20 * G, 30 * G}}},
      Case{"one inside the other",
           {{{10 * G, 40 * G}}, {{20 * G, 30 * G}}},
           {{10 * G, 40 * G}},
           {{20 * G, 30 * G}}},
      Case{"the same start",
           {{{10 * G, 30 * G}}, {{10 * G, 40 * G}}},
           {{10 * G, 40 * G}},
           {{10 * G, 30 * G}}},
      Case{"the same end",
           {{{10 * G, 40 * G}}, {{20 * G, 40 * G}}},
           {{10 * G, 40 * G}},
           {{20 * G, 40 * G}}},
      Case{"a join after two chains with the same start",
           {{{10 * G, 20 * G}, {10 * G, 30 * G}, {20 * G, 25 * G}}},
           {{10 * G, 30 * G}},
           {{10 * G, 25 * G}}},
      Case{"overlaps that touch are one",
           {{{10 * G, 30 * G}}, {{20 * G, 25 * G}, {25 * G, 35 * G}}},
           {{10 * G, 35 * G}},
           {{20 * G, 30 * G}}},
      Case{"apart, in any order",
           {{{50 * G, 60 * G}}, {{10 * G, 20 * G}}},
           {{10 * G, 20 * G}, {50 * G, 60 * G}},
           {}},
      Case{"empty ranges stay when alone",
           {{{30 * G, 30 * G}, {10 * G, 20 * G}, {15 * G, 15 * G}, {0, 0}}},
           {{0, 0}, {10 * G, 20 * G}, {30 * G, 30 * G}},
           {}},
      Case{"the whole of p, twice", {{{0, kTop}}, {{0, kTop}}}, {{0, kTop}}, {{0, kTop}}},
      Case{"reversed ranges are left out",
           {{{30 * G, 10 * G}, {40 * G, 50 * G}}, {{45 * G, 20 * G}}},
           {{40 * G, 50 * G}},
           {}},
  };
  for (const auto& [name, queues, pool, overlaps] : cases) {
    SCOPED_TRACE(name);
    std::vector<EqualizeMachine> machines;
    for (const Queue& queue : queues) machines.push_back(Sieving(1, 0, queue));
    const EqualizePlan plan = PlanEqualize(machines);
    EXPECT_EQ(plan.Pool, pool);
    EXPECT_EQ(plan.Overlaps, overlaps);
    EXPECT_EQ(plan.Overlapped(), !overlaps.empty());
    uint64_t total = 0;
    for (const Range& span : pool) total += span.Pmax - span.Pmin;
    EXPECT_EQ(plan.UnionTotal, total);
  }
}

TEST(AttentionMessages, NameReversedRangesThenOverlapsInP) {
  const EqualizePlan plan =
      PlanEqualize({Sieving(1, 0, {{10 * G, 30 * G}, {7, 5}}), Sieving(1, 0, {{20 * G, 40 * G}})});
  EXPECT_EQ(plan.Reversed, (Queue{{7, 5}}));
  EXPECT_EQ(AttentionMessages(plan),
            (std::vector<std::string>{
                "The range 7-5 is reversed and was left out.",
                "The range 20000000000-30000000000 is assigned to more than one machine!"}));
}

TEST(DoneMessage, GivesWholeDaysHoursAndMinutes) {
  const std::array<std::pair<uint64_t, const char*>, 5> cases{{
      {0, "0d 0h 0m."},
      {59, "0d 0h 0m."},
      {500'000, "5d 18h 53m."},
      {86'399, "0d 23h 59m."},
      {kTop, "213503982334601d 7h 0m."},
  }};
  for (const auto& [seconds, text] : cases) {
    SCOPED_TRACE(seconds);
    EXPECT_EQ(DoneMessage(seconds), std::string("Everything should be done in about ") + text);
  }
}

TEST(DistributeEqualize, SharesThePoolByTheSpeedsLeft) {
  struct Case {
    const char* name;
    std::vector<EqualizeMachine> machines;
    std::vector<Queue> queues;
    uint64_t seconds;
  };
  const std::array cases{
      Case{"two equal machines",
           {Sieving(100, 0), Sieving(100, 0, {{1000 * G, 1100 * G}})},
           {{{1000 * G, 1050 * G}}, {{1050 * G, 1100 * G}}},
           500'000},
      Case{"a share of 12.4 G is 12 G",
           {Sieving(1, 0), Sieving(1, 0, {{100 * G, 124 * G + 800'000'000}})},
           {{{100 * G, 112 * G}}, {{112 * G, 124 * G + 800'000'000}}},
           12'800'000},
      Case{"a share of 12.5 G is 13 G",
           {Sieving(1, 0), Sieving(1, 0, {{100 * G, 125 * G}})},
           {{{100 * G, 113 * G}}, {{113 * G, 125 * G}}},
           13'000'000},
      Case{"a share below 0.5 G is nothing",
           {Sieving(1, 0), Sieving(1, 0, {{100 * G, 100 * G + 800'000'000}})},
           {{}, {{100 * G, 100 * G + 800'000'000}}},
           800'000},
      Case{"no queued ranges: the longest current range",
           {Sieving(100, 100 * G), Sieving(50, 10 * G)},
           {{}, {}},
           1'000'000},
      Case{"current work counts in the shares of the others",
           {Sieving(100, 100 * G), Sieving(100, 0, {{10 * G, 70 * G}}), Sieving(100, 0)},
           {{}, {{10 * G, 40 * G}}, {{40 * G, 70 * G}}},
           1'000'000},
      Case{"no speed, not last: nothing, and no time",
           {Sieving(0, 500 * G, {{10 * G, 20 * G}}), Sieving(100, 0)},
           {{}, {{10 * G, 20 * G}}},
           100'000},
      Case{"no speed left: nothing, and the last takes the rest",
           {Sieving(100, 0, {{10 * G, 20 * G + 400'000'000}}), Sieving(0, 0), Sieving(0, 0)},
           {{{10 * G, 20 * G}}, {}, {{20 * G, 20 * G + 400'000'000}}},
           100'000},
      Case{"a target beyond the pool takes all of it",
           {Sieving(1000, 0, {{10 * G, 10 * G + 900'000'000}}), Sieving(1, 0), Sieving(1, 0)},
           {{{10 * G, 10 * G + 900'000'000}}, {}, {}},
           900},
      Case{"the pool across spans, empty ones included",
           {Sieving(100, 0, {{10 * G, 10 * G}, {20 * G, 30 * G}}), Sieving(100, 0)},
           {{{10 * G, 10 * G}, {20 * G, 25 * G}}, {{25 * G, 30 * G}}},
           50'000},
      Case{"machines without a queue file hand on their ranges",
           {Sieving(100, 0), WithoutQueueFile(999, {{50 * G, 60 * G}}),
            Sieving(100, 0, {{10 * G, 20 * G}}), WithoutQueueFile(7)},
           {{{10 * G, 20 * G}}, {}, {{50 * G, 60 * G}}, {}},
           100'000},
      Case{"current work beyond 2^64 in all",
           {Sieving(3, uint64_t{1} << 63, {{10 * G, 110 * G}}), Sieving(1, uint64_t{1} << 63)},
           {{{10 * G, 110 * G}}, {}},
           9'223'372'036'854'775},
      Case{"current work and the pool beyond 2^64",
           {Sieving(1, kTop, {{10 * G, 110 * G}})},
           {{{10 * G, 110 * G}}},
           18'446'744'173'709'551},
  };
  for (const auto& [name, machines, queues, seconds] : cases) {
    SCOPED_TRACE(name);
    const EqualizeResult result = DistributeEqualize(machines, PlanEqualize(machines));
    EXPECT_EQ(result.Queues, queues);
    EXPECT_EQ(result.Seconds, seconds);
  }
}

TEST(ApplyEqualize, ReplacesEveryQueue) {
  MachineTable table(2);
  table[0].StatusPath = "/m0/QsvStatus.dat";
  table[0].Speed = 100;
  table[0].QueuedRanges = {{20 * G, 30 * G}, {10 * G, 20 * G}};
  table[1].StatusPath = "http://m1/QsvStatus.dat";
  table[1].QueuedRanges = {{40 * G, 50 * G}};
  const std::vector<EqualizeMachine> machines =
      EqualizeMachines(table, std::vector<std::string>(table.size()));
  ApplyEqualize(table, DistributeEqualize(machines, PlanEqualize(machines)));
  EXPECT_EQ(table[0].QueuedRanges, (Queue{{10 * G, 30 * G}, {40 * G, 50 * G}}));
  EXPECT_EQ(table[1].QueuedRanges, Queue{});
  // A refresh that read the queue files before must not undo the new queues.
  EXPECT_EQ(table[0].QueueRevision, 1u);
  EXPECT_EQ(table[1].QueueRevision, 1u);
}

// Random farms, checked against a plain count of how often each stretch of
// p between two bounds was gathered.
class RandomFarm {
 public:
  explicit RandomFarm(uint64_t seed) : rng_(seed), aligned_(Chance(2)) {
    const size_t count = Uniform(1, 8);
    for (size_t i = 0; i < count; ++i) machines_.push_back(Machine());
  }

  const std::vector<EqualizeMachine>& machines() const { return machines_; }
  bool aligned() const { return aligned_; }

  // The stretches gathered at least `times` times, joined where they touch.
  Queue Covered(int times) const {
    std::vector<Range> ranges;
    std::set<uint64_t> bounds;
    for (const EqualizeMachine& machine : machines_) {
      for (const Range& range : machine.Queue) {
        if (range.Pmin >= range.Pmax) continue;
        ranges.push_back(range);
        bounds.insert({range.Pmin, range.Pmax});
      }
    }
    Queue covered;
    for (auto it = bounds.begin(); it != bounds.end() && std::next(it) != bounds.end(); ++it) {
      const Range stretch{*it, *std::next(it)};
      const auto count = std::count_if(ranges.begin(), ranges.end(), [&](const Range& range) {
        return range.Pmin <= stretch.Pmin && stretch.Pmax <= range.Pmax;
      });
      if (count < times) continue;
      if (!covered.empty() && covered.back().Pmax == stretch.Pmin)
        covered.back().Pmax = stretch.Pmax;
      else
        covered.push_back(stretch);
    }
    return covered;
  }

 private:
  uint64_t Uniform(uint64_t low, uint64_t high) {
    return std::uniform_int_distribution<uint64_t>(low, high)(rng_);
  }
  bool Chance(uint64_t oneIn) { return Uniform(1, oneIn) == 1; }

  // Near 0 or near the top of p, and on whole billions in an aligned farm.
  uint64_t Bound(uint64_t base) {
    return aligned_ ? base + Uniform(0, 200) * G : base + Uniform(0, 200 * G);
  }

  EqualizeMachine Machine() {
    EqualizeMachine machine;
    machine.TakesPart = !Chance(8);
    machine.Speed = Chance(5)    ? 0
                    : Chance(20) ? UINT32_MAX
                                 : static_cast<uint32_t>(Uniform(1, 9999));
    machine.Work = Chance(4) ? 0 : Chance(10) ? Uniform(0, kTop) : Uniform(0, 100) * G;
    const uint64_t base = Chance(4) ? (kTop / G - 200) * G : 0;
    for (size_t n = Uniform(0, 5); n > 0; --n) {
      const uint64_t a = Bound(base), b = Bound(base);
      const Range range{std::min(a, b), std::max(a, b)};
      machine.Queue.push_back(Chance(20) ? Range{range.Pmax, range.Pmin} : range);
    }
    return machine;
  }

  std::mt19937_64 rng_;
  bool aligned_;
  std::vector<EqualizeMachine> machines_;
};

Queue WithoutEmptySpans(Queue spans) {
  std::erase_if(spans, [](const Range& span) { return span.Pmin == span.Pmax; });
  return spans;
}

bool EndsASpan(const Queue& pool, uint64_t p) {
  return std::any_of(pool.begin(), pool.end(), [&](const Range& span) { return span.Pmax == p; });
}

void CheckDistribution(const RandomFarm& farm, const EqualizePlan& plan,
                       const EqualizeResult& result) {
  const auto& machines = farm.machines();
  // In table order the queues run up the pool, so each p is handed out once.
  Queue handedOut;
  for (const Queue& queue : result.Queues) {
    for (const Range& piece : queue) {
      if (!handedOut.empty()) {
        EXPECT_LE(handedOut.back().Pmax, piece.Pmin);
      }
      if (!handedOut.empty() && handedOut.back().Pmax == piece.Pmin)
        handedOut.back().Pmax = piece.Pmax;
      else
        handedOut.push_back(piece);
      if (farm.aligned()) {
        EXPECT_EQ(piece.Pmin % G, 0u);
        EXPECT_EQ(piece.Pmax % G, 0u);
      }
    }
  }
  EXPECT_EQ(WithoutEmptySpans(handedOut), WithoutEmptySpans(plan.Pool));

  const auto last = std::find_if(machines.rbegin(), machines.rend(),
                                 [](const EqualizeMachine& machine) { return machine.TakesPart; });
  for (size_t i = 0; i < machines.size(); ++i) {
    if (!machines[i].TakesPart) {
      EXPECT_TRUE(result.Queues[i].empty());
    }
  }
  if (last == machines.rend()) return;
  for (const Range& piece : result.Queues[machines.rend() - last - 1])
    EXPECT_TRUE(EndsASpan(plan.Pool, piece.Pmax)) << piece.Pmax;
}

TEST(Equalize, HandsEachPOfThePoolOutOnceAndAgainTheSameWay) {
  for (uint64_t seed = 0; seed < 3000; ++seed) {
    SCOPED_TRACE(seed);
    const RandomFarm farm(seed);
    const EqualizePlan plan = PlanEqualize(farm.machines());
    ASSERT_EQ(WithoutEmptySpans(plan.Pool), farm.Covered(1));
    for (size_t i = 1; i < plan.Pool.size(); ++i)
      ASSERT_LT(plan.Pool[i - 1].Pmax, plan.Pool[i].Pmin);
    ASSERT_EQ(plan.Overlaps, farm.Covered(2));
    if (!plan.SpeedKnown()) continue;

    const EqualizeResult result = DistributeEqualize(farm.machines(), plan);
    CheckDistribution(farm, plan, result);

    std::vector<EqualizeMachine> again = farm.machines();
    for (size_t i = 0; i < again.size(); ++i) again[i].Queue = result.Queues[i];
    const EqualizePlan planAgain = PlanEqualize(again);
    EXPECT_EQ(planAgain.Pool, plan.Pool);
    EXPECT_FALSE(planAgain.Overlapped());
    const EqualizeResult resultAgain = DistributeEqualize(again, planAgain);
    EXPECT_EQ(resultAgain.Queues, result.Queues);
    EXPECT_EQ(resultAgain.Seconds, result.Seconds);
  }
}

}  // namespace
