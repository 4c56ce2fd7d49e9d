// The factor reader counts exactly the lines that start with 1 to 9, puts
// each of them in the all-text, and the new ones, in order, in the new-text.
#include <cstring>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "monitor/FactorFile.h"

namespace {

// The lines of a text split by hand, not by the reader's own splitter.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == text.npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool StartsWithADigit1To9(std::string_view line) {
  return !line.empty() && line[0] >= '1' && line[0] <= '9';
}

std::string PaneOf(const std::vector<std::string_view>& lines) {
  std::string pane;
  for (std::string_view line : lines) pane.append(line).append("\r\n");
  return pane;
}

uint64_t Take(const uint8_t*& data, size_t& size) {
  uint64_t value = 0;
  const size_t n = size < 8 ? size : 8;
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The old mark: a p of the file (picked by the first byte) or any number.
  const uint8_t pick = *data++;
  --size;
  const uint64_t rangeStart = Take(data, size) % 1000, pmax = rangeStart + Take(data, size) % 1000;
  const std::string_view text = AsText(data, size);

  std::vector<std::string_view> factorLines;
  for (std::string_view line : Lines(text))
    if (StartsWithADigit1To9(line)) factorLines.push_back(line);
  const uint64_t lastOld = pick == 0 || factorLines.empty()
                               ? pick
                               : ParseLeadingP(factorLines[pick % factorLines.size()]);

  std::string newText = "earlier\r\n", allText;
  const FactorReading reading = ScanFactorFile(text, lastOld, rangeStart, pmax, newText, &allText);
  FUZZ_CHECK(reading.TotalFactors == static_cast<int32_t>(factorLines.size()));
  FUZZ_CHECK(allText == PaneOf(factorLines));
  FUZZ_CHECK(reading.RangeFactors <= reading.TotalFactors);

  // The new lines: those after the first with the old mark, less the ones
  // with the mark; all of them when no line has it; none when the file
  // ends with the mark.
  std::vector<std::string_view> expected;
  size_t first = 0;
  while (first < factorLines.size() && ParseLeadingP(factorLines[first]) != lastOld) ++first;
  const bool markSeen = first < factorLines.size();
  for (size_t i = markSeen ? first + 1 : 0; i < factorLines.size(); ++i)
    if (ParseLeadingP(factorLines[i]) != lastOld) expected.push_back(factorLines[i]);
  if (markSeen && ParseLeadingP(factorLines.back()) == lastOld) expected.clear();
  FUZZ_CHECK(newText == "earlier\r\n" + PaneOf(expected));
  FUZZ_CHECK(reading.NewCount == static_cast<int32_t>(expected.size()));
  FUZZ_CHECK(reading.Mark.has_value() == !expected.empty());
  if (reading.Mark) FUZZ_CHECK(*reading.Mark == ParseLeadingP(factorLines.back()));
  return 0;
}
