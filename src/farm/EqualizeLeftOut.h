#pragma once

#include <string>
#include <vector>

#include "model/Machine.h"
#include "model/Settings.h"

// Why Equalize leaves each machine of the table out, by index, as
// EqualizeMachines takes it: "stalled: no progress since 14:02",
// "unreachable: <why>"; empty for a machine it keeps.
//
// Its health decides, as it was when the refresh read the machine (ReadAt):
// Equalize works on what that refresh read, and a window left open for an
// hour must not find every machine stalled by then. A stalled or an
// unreachable machine would sieve nothing of what it was given: its queued
// ranges go to the others, it receives nothing and its speed counts for
// nothing. A finished or running-dry machine is the one that needs work
// most, and stays. A machine read over http has no queue file to change: it
// keeps what it has, as it always does, and is never named.
//
// A machine whose queue file exists but could not be read is unreachable
// too, yet the front ends refuse to equalize at all before they ask this:
// its ranges are unknown, so they cannot be handed out, and leaving it out
// would keep them only as long as every writer of queue files spares its
// file. Refusing loses nothing whatever is written, and names the file to
// mend.
std::vector<std::string> EqualizeLeftOut(const MachineTable& machines, const Settings& options);
