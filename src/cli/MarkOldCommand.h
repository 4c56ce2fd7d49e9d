#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>

#include "location/Fetcher.h"
#include "model/Model.h"

// Refreshes the farm, narrows it to `machine` when given, and marks the
// new factors as old, as after a submission made by hand. Gives the exit
// code: 0, or 1 when the settings file could not be saved.
int RunMarkOld(Model& model, const Fetcher& fetcher, std::optional<size_t> machine,
               const std::string& settingsPath, std::ostream& out, std::ostream& err);
