#pragma once

#include <ostream>
#include <string>

#include "farm/Refresh.h"
#include "location/Fetcher.h"
#include "model/Model.h"

struct EqualizeRequest {
  bool yes = false;     // the answer to "Some of your ranges overlapped. ..."
  bool dryRun = false;  // write no queued range file
  bool json = false;
};

// Refreshes the farm once, hands every queued range out again by the
// machines' speeds, writes the queues it changed as one change (under the
// lock and record beside the settings file at `settingsPath`), then prints
// the new queues and when everything should be done. Gives the exit code:
// 0 done; 1 when no speed is known, overlaps were not answered with --yes,
// or a queued range file could not be read or written (then none was).
int RunEqualize(Model& model, const Fetcher& fetcher, const EqualizeRequest& request,
                const std::string& settingsPath, const RefreshOptions& options, std::ostream& out,
                std::ostream& err);
