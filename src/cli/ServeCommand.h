#pragma once

#include <optional>
#include <ostream>
#include <stop_token>
#include <string>

#include "cli/FarmServer.h"
#include "location/Fetcher.h"
#include "model/Model.h"

struct ServeRequest {
  std::string listen = "127.0.0.1:8787";  // ADDRESS:PORT
  std::optional<std::string> tokenFile;
  std::optional<double> every;  // seconds between refreshes
  ServerLimits limits;
};

// Serves the farm over HTTP until `stop` (see FarmServer): refreshes it at
// once and then every AutoTimerInterval minutes (of AutomationMinute's
// length, or every `every` seconds), counted from the end of a refresh,
// and publishes each reading. It submits nothing and writes no file. Says
// "Serving the farm on <url>" on `out` once it listens. Refuses, on `err`,
// an address other computers reach without a token to ask for. Gives the
// exit code: 0 once stopped, 2 when it cannot serve.
int RunServe(Model& model, const Fetcher& fetcher, const ServeRequest& request,
             std::stop_token stop, std::ostream& out, std::ostream& err);
