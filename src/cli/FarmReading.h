#pragma once

#include <cstdint>

#include "model/Model.h"

// One refresh of the farm as `serve` shows it: what was read, when, and how
// the refreshes have gone so far. Every document served is made from one.
struct FarmReading {
  Model Farm;
  int64_t Time = 0;           // Unix seconds, when the refresh ended
  double RefreshSeconds = 0;  // how long it took
  uint64_t Refreshes = 0;     // refreshes so far, this one among them
};
