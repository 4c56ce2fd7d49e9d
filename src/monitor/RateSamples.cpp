#include "monitor/RateSamples.h"

#include <algorithm>

RateSamples::RateSamples(uint32_t slots) : slots_(std::max(slots, uint32_t{1})) {}

void RateSamples::Add(std::optional<uint32_t> rate) {
  // The ring grows one slot per sample until it has all N.
  if (next_ == ring_.size()) ring_.push_back(0);
  if (rate) ring_[next_] = *rate;
  next_ = next_ + 1 == slots_ ? 0 : next_ + 1;
  ++count_;
}

uint32_t RateSamples::Average() const {
  const uint32_t used = std::min(count_, slots_);
  if (used == 0) return 0;
  // In 64 bits: the mean of 32-bit rates fits in 32 bits, their sum not.
  uint64_t sum = 0;
  for (uint32_t i = 0; i < used; ++i) sum += ring_[i];
  return static_cast<uint32_t>(sum / used);
}
