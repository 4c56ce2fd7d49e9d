#pragma once

#include <cstddef>
#include <optional>
#include <ostream>

#include "farm/Refresh.h"
#include "model/Model.h"

struct StatusRequest {
  bool json = false;
  std::optional<size_t> machine;  // then show that machine's factors alone
};

// Refreshes the farm (and shows one machine's factors when asked) and prints
// the machine list, the new factors label and pane, as text or as JSON.
// Machines whose files could not be read are named on `err`.
void RunStatus(Model& model, const Fetcher& fetcher, const StatusRequest& request,
               const RefreshOptions& options, std::ostream& out, std::ostream& err);
