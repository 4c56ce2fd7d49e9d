#pragma once

#include <ostream>

#include "farm/Refresh.h"
#include "location/Fetcher.h"
#include "model/Model.h"

struct EqualizeRequest {
  bool yes = false;     // the answer to "Some of your ranges overlapped. ..."
  bool dryRun = false;  // write no queued range file
  bool json = false;
};

// Refreshes the farm once, hands every queued range out again by the
// machines' speeds, leaving out the stalled and unreachable ones (named on
// stderr, and under "leftOut" in JSON), prints the new queues and when
// everything should be done, and writes every machine's queued range file.
// Gives the exit code:
// 0 done; 1 when no speed is known, overlaps were not answered with --yes,
// or a queued range file could not be read or written.
int RunEqualize(Model& model, const Fetcher& fetcher, const EqualizeRequest& request,
                const RefreshOptions& options, std::ostream& out, std::ostream& err);
