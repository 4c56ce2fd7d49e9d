#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "model/Machine.h"

// Files like those of a real sieve client, for demonstrations and
// benchmarks: a status file with one "pmin" line per reporting interval, a
// factor file with increasing p, and a short queue of future ranges.
struct FakeMachineSize {
  size_t statusLines = 300;
  size_t factorLines = 40;
};

struct FakeMachineFiles {
  std::string name;
  std::string status;
  std::string factors;
  std::string queue;
  uint64_t middleFactor = 0;  // the p of the factor line halfway down
};

// Machine number `index` of a fake farm; the same index gives the same files.
FakeMachineFiles MakeFakeMachine(size_t index, const FakeMachineSize& size);

// Writes the files of machine `index` into folder `dir`/<name> and gives a
// machine that reads them, with its older half of factors marked as old.
Machine WriteFakeMachine(const std::filesystem::path& dir, size_t index,
                         const FakeMachineSize& size);
