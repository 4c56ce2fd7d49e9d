#pragma once

#include <optional>
#include <ostream>
#include <stop_token>
#include <string>

#include "location/Fetcher.h"
#include "model/Model.h"

struct WatchRequest {
  std::optional<int> ticks;  // end after so many; none: until stopped
};

// The automation timer without a window: at once and then every
// AutoTimerInterval minutes (of AutomationMinute's length, counted from the
// end of the previous tick) a refresh and, when AutoSubmit is on, a submission in automatic
// mode, with one line per tick on `out`, followed by one for each machine
// that has become stalled, unreachable or running dry since the last (WarningMemory: a machine
// renamed or moved in the file meanwhile is the one it was). Whatever AutoRefresh says:
// being asked to watch is the request. A stop request ends the wait at once; a tick in progress
// first finishes what it can (its refresh; a transfer in flight is abandoned) and marks, saves and
// logs as usual. Gives the exit code, 0.
int RunWatch(Model& model, const Fetcher& fetcher, const WatchRequest& request,
             const std::string& settingsPath, std::stop_token stop, std::ostream& out,
             std::ostream& err);
