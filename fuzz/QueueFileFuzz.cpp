// Every queued range read has both bounds non-zero, and what is written of
// a queue reads back as the ranges that could be written.
#include <vector>

#include "FuzzInput.h"
#include "ranges/QueueFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<Range> ranges = ParseQueuedRanges(AsText(data, size));
  std::vector<Range> writable;
  for (const Range& range : ranges) {
    FUZZ_CHECK(range.Pmin != 0 && range.Pmax != 0);
    if (range.Pmin < range.Pmax) writable.push_back(range);
  }
  FUZZ_CHECK(ParseQueuedRanges(FormatQueuedRanges(ranges)) == writable);
  return 0;
}
