#include "monitor/FactorFile.h"

#include <algorithm>
#include <limits>

#include "model/Lines.h"
#include "model/Numbers.h"

namespace {

bool IsFactorLine(std::string_view line) {
  return !line.empty() && line[0] >= '1' && line[0] <= '9';
}

void AppendPaneLine(std::string& pane, std::string_view line) {
  pane.append(line);
  pane.append("\r\n");
}

void AppendFactorLines(std::string_view text, std::string& pane) {
  ForEachLine(text, [&](std::string_view line) {
    if (IsFactorLine(line)) AppendPaneLine(pane, line);
  });
}

// The model keeps counts in 32 bits; a file with more lines shows the most.
int32_t Saturated(uint64_t count) {
  return static_cast<int32_t>(std::min<uint64_t>(count, std::numeric_limits<int32_t>::max()));
}

int32_t SaturatingAdd(int32_t total, int32_t more) {
  return static_cast<int32_t>(
      std::min<int64_t>(int64_t{total} + more, std::numeric_limits<int32_t>::max()));
}

void RecordReading(Model& model, size_t index, const FactorReading& reading) {
  Machine& machine = model.Machines[index];
  machine.TotalFactors = reading.TotalFactors;
  machine.RangeFactors = reading.RangeFactors;
  if (reading.Mark) model.Marks.push_back({static_cast<int32_t>(index), *reading.Mark});
  model.NewFactorCount = SaturatingAdd(model.NewFactorCount, reading.NewCount);
}

// Resets the machine's counts; true when there is a file to read them from.
bool StartReading(Machine& machine, const Error* error) {
  machine.TotalFactors = 0;
  machine.RangeFactors = 0;
  machine.FactorError = error ? error->message : std::string();
  return !error;
}

void ApplyFactorText(Model& model, size_t index, std::string_view text, bool fillAllFactors) {
  const Machine& machine = model.Machines[index];
  RecordReading(
      model, index,
      ScanFactorFile(text, machine.LastOldFactor, machine.RangeStart, machine.Pmax,
                     model.NewFactorsText, fillAllFactors ? &model.AllFactorsText : nullptr));
}

}  // namespace

uint64_t ParseLeadingP(std::string_view line) {
  if (line.empty() || !IsDigit(line[0])) return 0;
  // The line starts with a digit, so no number means one too large.
  return ReadLeadingNumber(line).value_or(std::numeric_limits<uint64_t>::max());
}

FactorReading ScanFactorFile(std::string_view text, uint64_t lastOldFactor, uint64_t rangeStart,
                             uint64_t pmax, std::string& newText, std::string* allText) {
  const size_t startingSize = newText.size();
  uint64_t total = 0, inRange = 0, newCount = 0;
  bool oldMarkSeen = false;
  uint64_t lastP = 0;
  ForEachLine(text, [&](std::string_view line) {
    if (!IsFactorLine(line)) return;
    ++total;
    if (allText) AppendPaneLine(*allText, line);
    lastP = ParseLeadingP(line);
    if (rangeStart <= lastP && lastP <= pmax) ++inRange;
    if (lastP == lastOldFactor) {
      oldMarkSeen = true;
    } else if (oldMarkSeen) {
      AppendPaneLine(newText, line);
      ++newCount;
    }
  });

  FactorReading reading{Saturated(total), Saturated(inRange), 0, std::nullopt};
  // A file that ends with the old mark has nothing new; one without factor
  // lines has no last p to mark.
  if (total == 0 || (oldMarkSeen && lastP == lastOldFactor)) {
    newText.resize(startingSize);
    return reading;
  }
  // Without the old mark every factor line is new. Most files have it, so
  // only these take a second pass.
  if (!oldMarkSeen) {
    AppendFactorLines(text, newText);
    newCount = total;
  }
  reading.NewCount = Saturated(newCount);
  reading.Mark = lastP;
  return reading;
}

void ApplyFactorFile(Model& model, size_t index, const LocationText& file, bool fillAllFactors) {
  if (StartReading(model.Machines[index], file ? nullptr : &file.error()))
    ApplyFactorText(model, index, file.value(), fillAllFactors);
}

void ReadFactorFile(Model& model, size_t index, bool fillAllFactors, const Fetcher& fetcher) {
  ApplyFactorFile(model, index, OpenLocation(model.Machines[index].FactorPath, fetcher),
                  fillAllFactors);
}

FactorScan ScanFactorFileAhead(std::string text, uint64_t lastOldFactor, uint64_t rangeStart,
                               uint64_t pmax) {
  FactorScan scan{std::move(text), lastOldFactor, {}, {}};
  scan.reading = ScanFactorFile(scan.text, lastOldFactor, rangeStart, pmax, scan.newText, nullptr);
  return scan;
}

void ApplyFactorScan(Model& model, size_t index, const Result<FactorScan>& scan) {
  if (!StartReading(model.Machines[index], scan ? nullptr : &scan.error())) return;
  if (scan.value().lastOldFactor != model.Machines[index].LastOldFactor) {
    ApplyFactorText(model, index, scan.value().text, false);
    return;
  }
  model.NewFactorsText += scan.value().newText;
  RecordReading(model, index, scan.value().reading);
}
