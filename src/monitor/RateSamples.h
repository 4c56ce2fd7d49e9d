#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The ring of the most recent rate samples of one status file reading
// (kp/s); the machine's speed is their mean. Sample number k lands in slot
// k mod N, so after k samples the ring holds the last min(k, N) of them.
// Slots are taken as samples arrive, so a huge N costs nothing.
class RateSamples {
 public:
  explicit RateSamples(uint32_t slots);  // 0 counts as 1

  // Adds one sample. Without a rate (it could not be read) the sample's
  // slot keeps what it held: 0, or the rate of N samples before.
  void Add(std::optional<uint32_t> rate);

  uint32_t Count() const { return count_; }

  // The mean of the slots in use, fraction dropped; 0 before the first
  // sample.
  uint32_t Average() const;

 private:
  uint32_t slots_;
  uint32_t count_ = 0;
  uint32_t next_ = 0;  // count_ mod slots_, kept without a division per sample
  std::vector<uint32_t> ring_;
};
