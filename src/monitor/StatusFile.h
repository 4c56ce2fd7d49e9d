#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "location/Fetcher.h"
#include "location/Location.h"
#include "model/Model.h"

// What a status file says of the range its machine sieves.
struct StatusReading {
  uint64_t Pmax = 0;
  uint64_t RangeStart = 0;
  uint64_t CurrentP = 0;
  uint32_t Speed = 0;  // kp/s, the mean of the last `speedAvgIntervals` rates
  bool Done = false;
  // When the file was last written, where its location tells (Unix
  // seconds); never read from its text.
  std::optional<int64_t> Modified = std::nullopt;

  friend bool operator==(const StatusReading&, const StatusReading&) = default;
};

// The first item of a line: the bound of a "pmax" line, the p of a "pmin".
std::optional<uint64_t> StatusLineValue(std::string_view line);

struct PminItems {
  uint64_t p;
  uint32_t rate;  // kp/s over the interval the line ends
};

// The items of a "pmin" line, when every one of them can be read.
std::optional<PminItems> ReadWholePminLine(std::string_view line);

// Reads a status file's text: its "pmax", "pmin" and "Done" lines.
StatusReading ParseStatusFile(std::string_view text, uint32_t speedAvgIntervals);

// The same reading, taken line by line as the rules are written. It is what
// ParseStatusFile falls back on when a line that decides the reading
// cannot be read whole, and what it is tested against.
StatusReading ParseStatusFileLineByLine(std::string_view text, uint32_t speedAvgIntervals);

// Reads and parses the status file at `location`. A range that starts above
// its end is an error: no figure of it could be shown.
Result<StatusReading> ReadStatusReading(const std::string& location, uint32_t speedAvgIntervals,
                                        const Fetcher& fetcher);

// Sets the machine's range, position, speed, finished mark and the file's
// modification time from a reading; a status file that could not be read
// resets them and leaves why in StatusError.
void ApplyStatusReading(Machine& machine, const Result<StatusReading>& reading);
