#pragma once

#include <cstdint>
#include <optional>
#include <ostream>

#include "model/Model.h"

// Writes the farm as `status --json` prints it: the machines with their
// cells and health, the new factors, the marks and the summary, with health
// judged at `now` (Unix seconds). With `readAt`, the document ends with the
// time of the reading it shows, for those who get it later than it was made.
void WriteStatusJson(const Model& model, int64_t now, std::ostream& out,
                     std::optional<int64_t> readAt = std::nullopt);
