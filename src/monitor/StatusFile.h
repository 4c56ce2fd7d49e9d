#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/Model.h"
#include "monitor/Fetcher.h"
#include "monitor/Location.h"

// What a status file says of the range its machine sieves.
struct StatusReading {
  uint64_t Pmax = 0;
  uint64_t RangeStart = 0;
  uint64_t CurrentP = 0;
  uint32_t Speed = 0;  // kp/s, the mean of the last `speedAvgIntervals` rates
  bool Done = false;

  friend bool operator==(const StatusReading&, const StatusReading&) = default;
};

// Reads a status file's text: its "pmax", "pmin" and "Done" lines.
StatusReading ParseStatusFile(std::string_view text, uint32_t speedAvgIntervals);

// Resets the machine's range, position, speed and finished mark, then sets
// them from the file when it was read; otherwise keeps why in StatusError.
void ApplyStatusFile(Machine& machine, const LocationText& file, uint32_t speedAvgIntervals);

// Reads machine `index`'s status file, then its queued ranges, then its
// factor file (without filling the "All factors" pane).
void ReadStatusFile(Model& model, size_t index, const Fetcher& fetcher);
