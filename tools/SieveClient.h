#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "model/Result.h"
#include "monitor/StatusFile.h"

struct SieveClientOptions {
  // The mean rate in kp/s; 0 resumes at the speed the status file shows.
  uint32_t rate = 0;
  double intervalSeconds = 2;  // between two status lines
  double factorsPerG = 40;     // factors found per 10^9 p, on average
  uint64_t seed = 0;
};

// Plays one sieve client in a folder: sieves its current range, reporting
// in QsvStatus.dat and appending factors to fact.txt, and takes its next
// range from nextrange.txt. Its files are its only state, so that a client
// started again goes on where it stopped.
class SieveClient {
 public:
  SieveClient(const std::filesystem::path& folder, const SieveClientOptions& options);

  // One reporting interval: sieves on and reports, or, with the range done
  // or none begun, starts the next queued range. Without one it idles.
  Status Tick();

 private:
  Status StartNextRange();
  Status SieveOn(const StatusReading& reading);
  uint32_t NextRate();
  // The factor lines found after `from` up to `to`: odd p in the order a
  // sieve finds them, each with a candidate written as k*2^n+1.
  std::string FactorLines(uint64_t from, uint64_t to);

  std::string statusPath_;
  std::string factorPath_;
  std::string queuePath_;
  SieveClientOptions options_;
  uint32_t rate_;
  std::mt19937_64 random_;
};
