#include "ranges/Equalize.h"

#include <algorithm>
#include <tuple>

#include "model/Numbers.h"
#include "ranges/QueueFile.h"

namespace {

constexpr uint64_t kBillion = 1'000'000'000;

// The work left over all machines, and a machine's current work plus what
// it receives, can pass 2^64 p.
using Wide = unsigned __int128;

uint64_t Length(const Range& range) { return range.Pmax - range.Pmin; }

// Adds `range` to `spans`, ascending and disjoint, whose last span begins
// at or before it; joins it to that span when the two overlap or touch.
void Join(std::vector<Range>& spans, const Range& range) {
  if (spans.empty() || range.Pmin > spans.back().Pmax) {
    spans.push_back(range);
  } else {
    spans.back().Pmax = std::max(spans.back().Pmax, range.Pmax);
  }
}

// Sorted by start, every p that lies in two ranges lies in a later one and
// below the end of the pool gathered before it.
void AddToPool(EqualizePlan& plan, const Range& range) {
  if (!plan.Pool.empty()) {
    const Range twice{range.Pmin, std::min(range.Pmax, plan.Pool.back().Pmax)};
    if (twice.Pmin < twice.Pmax) Join(plan.Overlaps, twice);
  }
  Join(plan.Pool, range);
}

// The pool, handed out from its lowest p upward.
class PoolFront {
 public:
  explicit PoolFront(std::vector<Range> pool) : spans_(std::move(pool)) {}

  // Appends up to `amount` p from the front of the pool to `queue`: whole
  // spans, and the start of the next one if it holds more than is still
  // needed. Gives how much was taken.
  uint64_t Take(uint64_t amount, std::vector<Range>& queue) {
    uint64_t taken = 0;
    if (amount == 0) return taken;
    while (next_ < spans_.size()) {
      Range& front = spans_[next_];
      const uint64_t need = amount - taken;
      if (need < Length(front)) {
        queue.push_back({front.Pmin, front.Pmin + need});
        front.Pmin += need;
        return amount;
      }
      queue.push_back(front);
      taken += Length(front);
      ++next_;
      if (taken == amount) break;
    }
    return taken;
  }

 private:
  std::vector<Range> spans_;
  size_t next_ = 0;
};

// No pool is longer than this, so the last machine takes whole spans only.
constexpr uint64_t kRest = UINT64_MAX;

// A machine's share of the work left, by its part of the speeds left, less
// its own current work, to the nearest billion with halves rounded up.
uint64_t Target(const EqualizeMachine& machine, uint64_t speedsLeft, Wide workLeft) {
  // Only speeds of 0 are left: so is this machine's, and its share.
  if (speedsLeft == 0) return 0;
  const double share = static_cast<double>(machine.Speed) / static_cast<double>(speedsLeft) *
                       static_cast<double>(workLeft);
  const Wide whole = static_cast<Wide>(share);
  if (whole <= machine.Work) return 0;
  const Wide target = (whole - machine.Work + kBillion / 2) / kBillion * kBillion;
  return static_cast<uint64_t>(std::min<Wide>(target, kRest));
}

uint64_t SecondsToSieve(Wide work, uint32_t speed) {
  return static_cast<uint64_t>(work / (uint64_t{speed} * 1000));
}

std::string RangeText(const Range& range) {
  return DecimalText(range.Pmin) + "-" + DecimalText(range.Pmax);
}

// What is left of the machine's current range; none past its end.
uint64_t WorkLeft(const Machine& machine) {
  return machine.CurrentP < machine.Pmax ? machine.Pmax - machine.CurrentP : 0;
}

}  // namespace

std::vector<EqualizeMachine> EqualizeMachines(const MachineTable& table,
                                              const std::vector<std::string>& leftOut) {
  std::vector<EqualizeMachine> machines;
  machines.reserve(table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    const Machine& machine = table[i];
    const bool hasFile = RangeFilePath(machine.StatusPath).has_value();
    machines.push_back({hasFile && leftOut[i].empty(), machine.Speed, WorkLeft(machine),
                        machine.QueuedRanges, leftOut[i]});
  }
  return machines;
}

EqualizePlan PlanEqualize(const std::vector<EqualizeMachine>& machines) {
  EqualizePlan plan;
  std::vector<Range> gathered;
  for (const EqualizeMachine& machine : machines) {
    for (const Range& range : machine.Queue)
      (range.Pmax < range.Pmin ? plan.Reversed : gathered).push_back(range);
    if (machine.TakesPart) plan.SpeedSum += machine.Speed;
  }
  std::sort(gathered.begin(), gathered.end(), [](const Range& a, const Range& b) {
    return std::tie(a.Pmin, a.Pmax) < std::tie(b.Pmin, b.Pmax);
  });
  for (const Range& range : gathered) AddToPool(plan, range);
  for (const Range& span : plan.Pool) plan.UnionTotal += Length(span);
  return plan;
}

EqualizeResult DistributeEqualize(const std::vector<EqualizeMachine>& machines,
                                  const EqualizePlan& plan) {
  EqualizeResult result;
  result.Queues.resize(machines.size());
  Wide workLeft = plan.UnionTotal;
  size_t last = machines.size();
  for (size_t i = 0; i < machines.size(); ++i) {
    if (!machines[i].TakesPart) continue;
    workLeft += machines[i].Work;
    last = i;
  }
  uint64_t speedsLeft = plan.SpeedSum;
  PoolFront pool(plan.Pool);
  for (size_t i = 0; i < machines.size(); ++i) {
    const EqualizeMachine& machine = machines[i];
    if (!machine.TakesPart) continue;
    const uint64_t target = i == last ? kRest : Target(machine, speedsLeft, workLeft);
    const uint64_t taken = pool.Take(target, result.Queues[i]);
    speedsLeft -= machine.Speed;
    workLeft -= Wide{machine.Work} + taken;
    if (machine.Speed != 0)
      result.Seconds =
          std::max(result.Seconds, SecondsToSieve(Wide{machine.Work} + taken, machine.Speed));
  }
  return result;
}

std::optional<uint64_t> SecondsAsQueued(const MachineTable& table) {
  uint64_t seconds = 0;
  for (const Machine& machine : table) {
    Wide work = WorkLeft(machine);
    for (const Range& range : machine.QueuedRanges)
      if (range.Pmax > range.Pmin) work += Length(range);
    if (work == 0) continue;
    if (machine.Speed == 0) return std::nullopt;
    seconds = std::max(seconds, SecondsToSieve(work, machine.Speed));
  }
  return seconds;
}

void ApplyEqualize(MachineTable& table, const EqualizeResult& result) {
  for (size_t i = 0; i < table.size(); ++i) {
    table[i].QueuedRanges = result.Queues[i];
    ++table[i].QueueRevision;
  }
}

std::vector<std::string> AttentionMessages(const EqualizePlan& plan) {
  std::vector<std::string> messages;
  for (const Range& range : plan.Reversed)
    messages.push_back("The range " + RangeText(range) + " is reversed and was left out.");
  for (const Range& overlap : plan.Overlaps)
    messages.push_back("The range " + RangeText(overlap) +
                       " is assigned to more than one machine!");
  return messages;
}

std::vector<std::string> LeftOutMessages(const MachineTable& table,
                                         const std::vector<EqualizeMachine>& machines) {
  std::vector<std::string> messages;
  for (size_t i = 0; i < machines.size(); ++i) {
    const EqualizeMachine& machine = machines[i];
    if (machine.LeftOut.empty()) continue;
    messages.push_back(table[i].Name + ": left out (" + machine.LeftOut + ")" +
                       (machine.Queue.empty() ? "" : "; its queued ranges go to the others"));
  }
  return messages;
}

std::string DoneMessage(uint64_t seconds) {
  return "Everything should be done in about " + DecimalText(seconds / 86400) + "d " +
         DecimalText(seconds / 3600 % 24) + "h " + DecimalText(seconds / 60 % 60) + "m.";
}
