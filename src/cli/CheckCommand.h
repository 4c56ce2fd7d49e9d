#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "farm/Health.h"
#include "location/Fetcher.h"
#include "model/Model.h"

// The exit codes of a monitoring check, as such systems read them.
enum CheckCode { kCheckOk = 0, kCheckWarning = 1, kCheckCritical = 2, kCheckUnknown = 3 };

// The check's one line and its code for a farm's health. Each machine that
// needs looking at reads "name: state (detail)", and they are joined by " | ",
// the unreachable ones first, then the others in table order:
//   CRITICAL when a machine is unreachable: "CRITICAL: box1: unreachable
//     (http://box1/QsvStatus.dat: …) | box3: stalled (no progress since 14:02)";
//   WARNING when one is stalled, running dry or finished with an empty queue
//     (idle): "WARNING: box3: stalled (no progress since 14:02) | box5:
//     finished (queue empty)";
//   OK otherwise, with the machines in each state: "OK: 6 working, 1 finished".
// Names and reasons are made safe for a terminal.
struct CheckLine {
  CheckCode Code;
  std::string Text;
};
CheckLine CheckFarm(const MachineTable& machines, const std::vector<MachineHealth>& health);

// Refreshes the farm once and prints its CheckLine on `out`; gives its code.
int RunCheck(Model& model, const Fetcher& fetcher, std::ostream& out);
