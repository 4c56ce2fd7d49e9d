#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/Machine.h"
#include "model/Model.h"
#include "model/Settings.h"

// How a machine is doing, worked out from what the last refresh read alone.
// `now` is always passed in, in Unix seconds, so that the same table gives
// the same health on any clock; times are shown in the local time zone.
//
// The first state that applies is the machine's:
//  1. Unreachable: its status or factor file, or a queue file that exists,
//     could not be read.
//  2. Finished: the status file says Done, or the position has reached a
//     bound above 0 (CurrentP >= Pmax > 0).
//  3. Stalled: the status file last changed StalledMinutes or more before
//     now. It changed when it was last modified (StatusModified), or, where
//     no time is told, when the position was first read where it is now
//     (PositionSince). A machine never read has no such time: not stalled.
//  4. Running dry: the queue is empty and the current range, at the present
//     speed, ends within DryHours (its end exactly DryHours away included).
//     A machine with speed 0 has no end in sight: it does not run dry. A
//     machine read over http has no queue file to tell: its queue is
//     unknown, not empty, and it never runs dry.
//  5. Working: everything else.
enum class HealthState { Working, RunningDry, Stalled, Finished, Unreachable };

// "working", "running dry", "stalled", "finished", "unreachable".
const char* HealthName(HealthState state);

struct MachineHealth {
  HealthState State = HealthState::Working;
  // Nothing in its queue (known to be empty): a finished machine is idle.
  bool QueueEmpty = true;
  // The explanation for people, for the row's tooltip: "no progress since
  // 14:02", "queue empty; range ends in 3h 10m", the read error, "2 ranges
  // queued" (finished), "range ends in 2d 4h; 1 range queued". It does not
  // repeat the state, which is always shown beside it.
  std::string Detail;

  friend bool operator==(const MachineHealth&, const MachineHealth&) = default;
};

// When the machine's status file last changed, as far as anything tells
// (rule 3 above); none for a machine never read.
std::optional<int64_t> StatusChangedAt(const Machine& machine);

MachineHealth HealthOf(const Machine& machine, const Settings& options, int64_t now);

// HealthOf every machine, in table order.
std::vector<MachineHealth> FarmHealth(const Model& model, int64_t now);

// The farm in one line.
struct FarmSummary {
  int32_t Working = 0;
  int32_t RunningDry = 0;
  int32_t Stalled = 0;
  int32_t Finished = 0;
  int32_t Unreachable = 0;
  uint64_t Speed = 0;  // kp/s, of every machine together
  int32_t NewFactors = 0;
  // When the last machine will have sieved its current range and its own
  // queue at its present speed, in Unix seconds; none when a machine with
  // work left has speed 0, or when that lies thousands of years ahead.
  std::optional<int64_t> DoneAt;

  friend bool operator==(const FarmSummary&, const FarmSummary&) = default;
};

FarmSummary SummarizeFarm(const Model& model, int64_t now);

// "5 working, 1 running dry, 1 finished, 1 stalled, 0 unreachable; 1234 kp/s;
// 17 new factors; farm done 12 Dec 2026 14:02" ("farm end unknown" without
// DoneAt); "No machines" for a farm without any.
std::string SummaryText(const FarmSummary& summary);

// The warning of a machine in a warning state: "box3 stalled: no progress
// since 14:02", "box4 unreachable: <why>", "box5 running dry: queue empty;
// range ends in 3h 10m".
std::string WarningText(const Machine& machine, const MachineHealth& health);

// True for the states a person is warned of: stalled, unreachable, running dry.
bool Warns(HealthState state);

// What a front end remembers of the warnings it gave: the state each
// machine was last found in. Here a machine is the files its health is
// read from, its status and factor locations, not its name (only what it is
// called) nor its index in the table: a machine renamed is the same
// machine, and so is one that another's removal or a new order has moved,
// while a machine whose locations change is another, seen for the first
// time. Two machines of the same locations are one machine listed twice,
// and warn together.
class WarningMemory {
 public:
  // The warnings of the machines that have just entered a warning state,
  // in table order: those last found in another state, or never found
  // before, so that a warning state warns at its first sight. Staying in a
  // state never warns again; leaving it and coming back does. Remembers
  // the states of `machines` alone: a machine removed and added again is
  // seen anew.
  std::vector<std::string> NewWarnings(const MachineTable& machines,
                                       const std::vector<MachineHealth>& health);

 private:
  using Identity = std::pair<std::string, std::string>;  // status, factor location
  std::map<Identity, HealthState> found_;
};
