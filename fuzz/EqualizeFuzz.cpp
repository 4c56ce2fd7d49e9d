// Equalize hands every p of the pool out exactly once: the new queues,
// taken together, cover the pool without a gap or an overlap.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

#include "FuzzInput.h"
#include "ranges/Equalize.h"

namespace {

// Bounds in a few sizes, so that ranges meet, overlap and reach the ends.
uint64_t Bound(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return input.ConsumeIntegralInRange<uint64_t>(0, 20) * 1'000'000'000;
    case 1:
      return input.ConsumeIntegralInRange<uint64_t>(0, 1000);
    case 2:
      return UINT64_MAX - input.ConsumeIntegralInRange<uint64_t>(0, 1000);
    default:
      return input.ConsumeIntegral<uint64_t>();
  }
}

std::vector<EqualizeMachine> Machines(FuzzedDataProvider& input) {
  std::vector<EqualizeMachine> machines(input.ConsumeIntegralInRange(1, 12));
  for (EqualizeMachine& machine : machines) {
    machine.TakesPart = input.ConsumeProbability<float>() < 0.8;
    machine.Speed = input.ConsumeBool() ? input.ConsumeIntegralInRange<uint32_t>(0, 5000)
                                        : input.ConsumeIntegral<uint32_t>();
    machine.Work = Bound(input);
    machine.Queue.resize(input.ConsumeIntegralInRange(0, 6));
    for (Range& range : machine.Queue) range = {Bound(input), Bound(input)};
  }
  return machines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::vector<EqualizeMachine> machines = Machines(input);
  const EqualizePlan plan = PlanEqualize(machines);

  uint64_t poolTotal = 0;
  for (size_t i = 0; i < plan.Pool.size(); ++i) {
    FUZZ_CHECK(plan.Pool[i].Pmin <= plan.Pool[i].Pmax);
    if (i > 0) FUZZ_CHECK(plan.Pool[i - 1].Pmax < plan.Pool[i].Pmin);
    poolTotal += plan.Pool[i].Pmax - plan.Pool[i].Pmin;
  }
  FUZZ_CHECK(poolTotal == plan.UnionTotal);
  if (!plan.SpeedKnown()) return 0;

  const EqualizeResult result = DistributeEqualize(machines, plan);
  FUZZ_CHECK(result.Queues.size() == machines.size());
  std::vector<Range> handedOut;
  for (size_t i = 0; i < machines.size(); ++i) {
    if (!machines[i].TakesPart) FUZZ_CHECK(result.Queues[i].empty());
    for (const Range& range : result.Queues[i]) {
      FUZZ_CHECK(range.Pmin <= range.Pmax);
      if (range.Pmin < range.Pmax) handedOut.push_back(range);
    }
  }
  // Sorted, the pieces follow each other without overlapping, and joined
  // where they meet they are the pool.
  std::sort(handedOut.begin(), handedOut.end(),
            [](const Range& a, const Range& b) { return a.Pmin < b.Pmin; });
  std::vector<Range> joined;
  for (const Range& range : handedOut) {
    if (!joined.empty()) FUZZ_CHECK(joined.back().Pmax <= range.Pmin);
    if (!joined.empty() && joined.back().Pmax == range.Pmin)
      joined.back().Pmax = range.Pmax;
    else
      joined.push_back(range);
  }
  std::vector<Range> pool;
  for (const Range& range : plan.Pool)
    if (range.Pmin < range.Pmax) pool.push_back(range);
  FUZZ_CHECK(joined == pool);
  return 0;
}
