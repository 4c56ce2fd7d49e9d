#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A range of trial divisors p, bounds included, in units of p.
struct Range {
  uint64_t Pmin = 0;
  uint64_t Pmax = 0;

  friend bool operator==(const Range&, const Range&) = default;
};

// Ranges are spans from Pmin up to Pmax: one that ends where another
// begins does not overlap it.
inline bool Overlaps(const Range& a, const Range& b) { return a.Pmin < b.Pmax && b.Pmin < a.Pmax; }

// One sieve client: where its files are, and what the last refresh read
// from them. Only the first four values are configured; every other field
// is rebuilt by each refresh.
struct Machine {
  Machine() = default;
  Machine(std::string name, std::string factorPath, std::string statusPath, uint64_t lastOldFactor)
      : FactorPath(std::move(factorPath)),
        StatusPath(std::move(statusPath)),
        Name(std::move(name)),
        LastOldFactor(lastOldFactor) {}

  std::string FactorPath;
  std::string StatusPath;
  std::string Name;
  int32_t TotalFactors = 0;
  int32_t RangeFactors = 0;
  int32_t NewFactors = 0;  // factor lines after LastOldFactor's
  uint64_t RangeStart = 0;
  uint64_t Pmax = 0;
  uint64_t CurrentP = 0;
  uint64_t LastOldFactor = 0;
  uint32_t Speed = 0;  // kp/s
  std::vector<Range> QueuedRanges;
  // Moves whenever QueuedRanges is edited, so that a queue read from the
  // file before the edit is never applied after it.
  uint64_t QueueRevision = 0;
  bool Done = false;

  // Why the last refresh could not read a file; empty when it could.
  std::string StatusError;
  std::string FactorError;
  std::string QueueError;

  // What tells a machine that works from one that has stopped, kept up by
  // every refresh that reads the status file. All times are Unix seconds.
  //
  // When the status file was last written, as its file system or its http
  // server's Last-Modified tells; none when neither does.
  std::optional<int64_t> StatusModified;
  // The position last read, and when it was first read there (0 before
  // any refresh read it). A status file that could not be read changes
  // neither, so that a host down for a while does not look like progress.
  uint64_t PositionSeen = 0;
  int64_t PositionSince = 0;
  // When the refresh that last read the machine's files began, read or not
  // (0 before any): what it read tells how the machine was doing then.
  int64_t ReadAt = 0;
};

// A machine's identity is its index in the table.
using MachineTable = std::vector<Machine>;
