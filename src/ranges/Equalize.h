#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/Machine.h"

// Equalize hands every queued range out again, in proportion to the
// machines' speeds, so that all of them finish at about the same time. It
// runs in steps, so that a front end can show its messages in between:
//
//   if a queue file could not be read, refuse   farm/EqualizeLeftOut.h: why
//   leftOut = EqualizeLeftOut(table, options)   the farm's health tells who
//   machines = EqualizeMachines(table, leftOut) copied once: a refresh in
//   plan = PlanEqualize(machines)               between changes nothing
//   tell LeftOutMessages(table, machines), now or with what is told last
//   if (!plan.SpeedKnown()) tell kNoSpeedMessage and stop
//   each of AttentionMessages(plan): tell it, captioned kAttentionCaption
//   if (plan.Overlapped()) ask kOverlapQuestion; Cancel stops
//   result = DistributeEqualize(machines, plan)
//   ApplyEqualize(table, result); tell DoneMessage(result.Seconds)
//
// Ranges are taken as spans from Pmin up to Pmax, Pmax - Pmin long: a range
// that ends where another begins continues it.

inline constexpr char kAttentionCaption[] = "Attention";
inline constexpr char kNoSpeedMessage[] =
    "I need information about the machines' speed to attempt this. Please let them sieve for a "
    "while and try again later.";
inline constexpr char kOverlapQuestion[] =
    "Some of your ranges overlapped. Do you want me to fix it for you?";

// What Equalize needs of one machine of the table.
struct EqualizeMachine {
  // Only a machine with a queued range file can hold a queue: one with an
  // http status location or none has its ranges gathered, counts for nothing
  // and receives nothing. So does one that is left out.
  bool TakesPart = false;
  uint32_t Speed = 0;  // kp/s
  uint64_t Work = 0;   // what is left of its current range, in p
  std::vector<Range> Queue;
  // Why the machine is left out ("stalled: no progress since 14:02"); empty
  // for one that is not.
  std::string LeftOut;

  friend bool operator==(const EqualizeMachine&, const EqualizeMachine&) = default;
};

// One per machine of the table, in table order; `leftOut` holds, by index,
// why each machine is left out, or nothing. A position past the end of the
// current range leaves no work.
std::vector<EqualizeMachine> EqualizeMachines(const MachineTable& table,
                                              const std::vector<std::string>& leftOut);

// What the gathered ranges come to, before anything is changed.
struct EqualizePlan {
  // The union of every gathered range: ascending, disjoint, not touching.
  std::vector<Range> Pool;
  // Every p gathered more than once, as maximal spans, ascending.
  std::vector<Range> Overlaps;
  // Ranges whose Pmax is below their Pmin, in gather order; left out.
  std::vector<Range> Reversed;
  uint64_t UnionTotal = 0;  // the length of the pool
  uint64_t SpeedSum = 0;    // over the machines that take part

  bool SpeedKnown() const { return SpeedSum != 0; }
  // True exactly when the lengths of the gathered ranges add up to more
  // than the pool's: some p would be sieved twice.
  bool Overlapped() const { return !Overlaps.empty(); }

  friend bool operator==(const EqualizePlan&, const EqualizePlan&) = default;
};

EqualizePlan PlanEqualize(const std::vector<EqualizeMachine>& machines);

struct EqualizeResult {
  // The new queue of every machine, in table order; empty for those that
  // take no part.
  std::vector<std::vector<Range>> Queues;
  // When the last machine with a known speed will be done, in seconds.
  uint64_t Seconds = 0;
};

// Hands the pool out from its lowest p upward, in table order: each machine
// but the last that takes part gets its share of all work left, less its
// own current work, in whole billions; the last gets the rest.
EqualizeResult DistributeEqualize(const std::vector<EqualizeMachine>& machines,
                                  const EqualizePlan& plan);

// When the last machine will have sieved its current work and its own queue
// as it stands, at its speed, in seconds: what Equalize would tell if it
// handed nothing out. None when a machine with work left has speed 0.
// Reversed ranges count for nothing, as Equalize leaves them out. Read from
// the table itself: the farm's summary asks it often, and copies no queue.
std::optional<uint64_t> SecondsAsQueued(const MachineTable& table);

// Puts the new queues into the table the machines were copied from, as
// edits of every queue (each QueueRevision moves).
void ApplyEqualize(MachineTable& table, const EqualizeResult& result);

// The "Attention" texts of a plan: one for each range left out, then one
// for each overlap.
std::vector<std::string> AttentionMessages(const EqualizePlan& plan);

// One line for each machine left out, in table order: "box3: left out
// (stalled: no progress since 14:02); its queued ranges go to the others",
// without the part after ";" when it has none queued.
std::vector<std::string> LeftOutMessages(const MachineTable& table,
                                         const std::vector<EqualizeMachine>& machines);

// "Everything should be done in about 5d 18h 53m."
std::string DoneMessage(uint64_t seconds);
