// The factor reader counts exactly the lines that start with 1 to 9, puts
// each of them in the all-text, and the new ones, in order, in the new-text.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "monitor/FactorFile.h"

namespace {

// The complete lines of a text split by hand, not by the reader's own
// splitter: a line ends at LF, CR LF or CR; what follows the last line end
// is still being written.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t end; (end = text.find_first_of("\r\n", start)) != text.npos;) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
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
  const uint64_t lastOld =
      pick == 0 || factorLines.empty()
          ? pick
          : ParseLeadingP(factorLines[pick % factorLines.size()]).value_or(pick);

  std::string newText = "earlier\r\n", allText;
  const FactorReading reading = ScanFactorFile(text, lastOld, rangeStart, pmax, newText, &allText);
  FUZZ_CHECK(reading.TotalFactors == static_cast<int32_t>(factorLines.size()));
  FUZZ_CHECK(allText == PaneOf(factorLines));
  FUZZ_CHECK(reading.RangeFactors <= reading.TotalFactors);

  // A line whose p does not fit in 64 bits goes with the last line before
  // it that has one: that line's p decides whether it is new.
  std::vector<std::optional<uint64_t>> owners;
  std::optional<uint64_t> lastP;
  for (std::string_view line : factorLines) {
    if (const auto p = ParseLeadingP(line)) lastP = p;
    owners.push_back(lastP);
  }
  // The new lines: those after the first with the old mark, less the ones
  // that go with the mark; all of them when no line has it; none when the
  // file ends with the mark or no line has a p.
  std::vector<std::string_view> expected;
  size_t first = 0;
  while (first < factorLines.size() && ParseLeadingP(factorLines[first]) != lastOld) ++first;
  const bool markSeen = first < factorLines.size();
  for (size_t i = markSeen ? first + 1 : 0; i < factorLines.size(); ++i)
    if (owners[i] != lastOld) expected.push_back(factorLines[i]);
  if (!lastP || (markSeen && lastP == lastOld)) expected.clear();
  FUZZ_CHECK(newText == "earlier\r\n" + PaneOf(expected));
  FUZZ_CHECK(reading.NewCount == static_cast<int32_t>(expected.size()));
  FUZZ_CHECK(reading.Mark.has_value() == !expected.empty());
  if (reading.Mark) FUZZ_CHECK(reading.Mark == lastP);
  return 0;
}
