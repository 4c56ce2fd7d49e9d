#include "monitor/StatusFile.h"

#include <optional>

#include "model/Numbers.h"
#include "monitor/FactorFile.h"
#include "monitor/Lines.h"
#include "monitor/RateSamples.h"
#include "ranges/QueueFile.h"

namespace {

// The items of a line are read one after the other, each after optional
// blanks; the first that cannot be read ends the line's reading, so the
// items after it keep their destinations unchanged.
class ItemReader {
 public:
  explicit ItemReader(std::string_view text) : rest_(text) {}

  std::optional<uint64_t> Number(uint64_t max) {
    if (!good_) return std::nullopt;
    const auto number = ReadLeadingNumber(rest_, &rest_, max);
    good_ = number.has_value();
    return number;
  }

  // One non-blank character of any kind.
  void Separator() {
    if (!good_) return;
    while (!rest_.empty() && IsBlank(rest_.front())) rest_.remove_prefix(1);
    good_ = !rest_.empty();
    if (good_) rest_.remove_prefix(1);
  }

 private:
  std::string_view rest_;
  bool good_ = true;
};

// A value begins at a line's sixth byte: the key and the byte after it
// (normally "=") are skipped. A line of just the key has no value.
std::string_view ValueText(std::string_view line) {
  return line.size() > 5 ? line.substr(5) : std::string_view();
}

void ReadPmaxLine(std::string_view line, StatusReading& reading) {
  if (const auto pmax = ItemReader(ValueText(line)).Number(UINT64_MAX)) reading.Pmax = *pmax;
  // A new range starts at the next "pmin" line, whether or not the bound read.
  reading.RangeStart = 0;
}

// "pmin=" p, a separator, the rate of the interval just ended, anything.
// The line is a sample even when its rate cannot be read.
void ReadPminLine(std::string_view line, StatusReading& reading, RateSamples& samples) {
  ItemReader items(ValueText(line));
  if (const auto p = items.Number(UINT64_MAX)) reading.CurrentP = *p;
  items.Separator();
  samples.Add(items.Number(UINT32_MAX));
  if (reading.RangeStart == 0) reading.RangeStart = reading.CurrentP;
}

}  // namespace

StatusReading ParseStatusFile(std::string_view text, uint32_t speedAvgIntervals) {
  StatusReading reading;
  RateSamples samples(speedAvgIntervals);
  ForEachLine(text, [&](std::string_view line) {
    const std::string_view key = line.substr(0, 4);
    if (key == "pmax") {
      ReadPmaxLine(line, reading);
    } else if (key == "pmin") {
      ReadPminLine(line, reading, samples);
    } else if (key == "Done") {
      reading.CurrentP = reading.Pmax;
      reading.Done = true;
    }
  });
  reading.Speed = samples.Average();
  return reading;
}

Result<StatusReading> ReadStatusReading(const std::string& location, uint32_t speedAvgIntervals,
                                        const Fetcher& fetcher) {
  return OpenLocation(location, fetcher).transform([&](std::string text) {
    return ParseStatusFile(text, speedAvgIntervals);
  });
}

void ApplyStatusReading(Machine& machine, const Result<StatusReading>& file) {
  const StatusReading reading = file ? file.value() : StatusReading{};
  machine.Pmax = reading.Pmax;
  machine.RangeStart = reading.RangeStart;
  machine.CurrentP = reading.CurrentP;
  machine.Speed = reading.Speed;
  machine.Done = reading.Done;
  machine.StatusError = file ? std::string() : file.error().message;
}

void ReadStatusFile(Model& model, size_t index, const Fetcher& fetcher) {
  Machine& machine = model.Machines[index];
  ApplyStatusReading(
      machine, ReadStatusReading(machine.StatusPath, model.Options.SpeedAvgIntervals, fetcher));
  ReadQueuedRanges(model, index);
  ReadFactorFile(model, index, false, fetcher);
}
