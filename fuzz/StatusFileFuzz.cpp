// The status reader's fast path, which looks only at the lines that decide
// the reading, must agree with the line-by-line reading for any text.
#include "FuzzInput.h"
#include "monitor/StatusFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks SpeedAvgIntervals, small ones most often.
  const uint32_t intervals = data[0] < 250 ? data[0] % 12 : 4'000'000'000u - data[0];
  const std::string_view text = AsText(data + 1, size - 1);
  const StatusReading fast = ParseStatusFile(text, intervals);
  FUZZ_CHECK(fast == ParseStatusFileLineByLine(text, intervals));
  return 0;
}
