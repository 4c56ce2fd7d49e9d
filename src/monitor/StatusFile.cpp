#include "monitor/StatusFile.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>
#include <vector>

#include "model/Files.h"
#include "model/Lines.h"
#include "model/Numbers.h"
#include "model/Redaction.h"
#include "monitor/FactorFile.h"
#include "monitor/RateSamples.h"

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
  if (const auto pmax = StatusLineValue(line)) reading.Pmax = *pmax;
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

// The last `size` lines given, or all of them while there are fewer.
class LastLines {
 public:
  explicit LastLines(uint32_t size) : size_(std::max(size, uint32_t{1})) {}

  void Add(std::string_view line) {
    if (lines_.size() < size_)
      lines_.push_back(line);
    else
      lines_[next_] = line;
    next_ = next_ + 1 == size_ ? 0 : next_ + 1;
    last_ = line;
  }

  const std::vector<std::string_view>& Lines() const { return lines_; }
  std::string_view Last() const { return last_; }

 private:
  uint32_t size_;
  uint32_t next_ = 0;
  std::vector<std::string_view> lines_;
  std::string_view last_;
};

// Reads a status file looking only at the lines that decide the reading:
// the "pmax" and "Done" lines, the first "pmin" line of the last range and
// the last N "pmin" lines. A year of ten-minute reports is some 50,000
// "pmin" lines, all but a handful of which change nothing in the end. Gives
// nothing when one of the deciding lines cannot be read whole: then the
// lines before it matter, and only reading line by line can tell.
std::optional<StatusReading> ReadDecidingLines(std::string_view text, uint32_t speedAvgIntervals) {
  StatusReading reading;
  std::string_view firstOfRange;  // empty until a "pmin" line follows the last "pmax"
  LastLines lastPmins(speedAvgIntervals);
  bool doneIsLast = false;  // no "pmin" line after the last "Done" line
  uint64_t pmaxAtDone = 0;
  ForEachCompleteLine(text, [&](std::string_view line) {
    const std::string_view key = line.substr(0, 4);
    if (key == "pmax") {
      if (const auto pmax = StatusLineValue(line)) reading.Pmax = *pmax;
      firstOfRange = {};
    } else if (key == "pmin") {
      if (firstOfRange.empty()) firstOfRange = line;
      lastPmins.Add(line);
      doneIsLast = false;
    } else if (key == "Done") {
      reading.Done = true;
      doneIsLast = true;
      pmaxAtDone = reading.Pmax;
    }
  });

  if (!firstOfRange.empty()) {
    const auto p = StatusLineValue(firstOfRange);
    if (!p || *p == 0) return std::nullopt;
    reading.RangeStart = *p;
  }
  uint64_t sum = 0;  // as the ring's: the mean fits in 32 bits, the sum not
  for (std::string_view line : lastPmins.Lines()) {
    const auto items = ReadWholePminLine(line);
    if (!items) return std::nullopt;
    sum += items->rate;
  }
  if (!lastPmins.Lines().empty())
    reading.Speed = static_cast<uint32_t>(sum / lastPmins.Lines().size());
  if (doneIsLast)
    reading.CurrentP = pmaxAtDone;
  else if (!lastPmins.Lines().empty())
    reading.CurrentP = ReadWholePminLine(lastPmins.Last())->p;
  return reading;
}

// A range that ends before it starts cannot be sieved: every figure worked
// out from it (share done, time left) would be nonsense. A file without a
// "pmax" line yet has no end to compare.
std::optional<Error> RangeError(const std::string& location, const StatusReading& reading) {
  if (reading.Pmax == 0 || reading.RangeStart <= reading.Pmax) return std::nullopt;
  return Error{RedactPasswords(location) + ": pmin " + DecimalText(reading.RangeStart) +
                   " is above pmax " + DecimalText(reading.Pmax),
               EINVAL};
}

}  // namespace

std::optional<uint64_t> StatusLineValue(std::string_view line) {
  return ItemReader(ValueText(line)).Number(UINT64_MAX);
}

std::optional<PminItems> ReadWholePminLine(std::string_view line) {
  ItemReader items(ValueText(line));
  const auto p = items.Number(UINT64_MAX);
  items.Separator();
  const auto rate = items.Number(UINT32_MAX);
  if (!rate) return std::nullopt;
  return PminItems{*p, static_cast<uint32_t>(*rate)};
}

StatusReading ParseStatusFile(std::string_view text, uint32_t speedAvgIntervals) {
  if (const auto reading = ReadDecidingLines(text, speedAvgIntervals)) return *reading;
  return ParseStatusFileLineByLine(text, speedAvgIntervals);
}

StatusReading ParseStatusFileLineByLine(std::string_view text, uint32_t speedAvgIntervals) {
  StatusReading reading;
  RateSamples samples(speedAvgIntervals);
  ForEachCompleteLine(text, [&](std::string_view line) {
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
  const LocationText text = OpenLocation(location, fetcher, kMaxFileSize);
  if (!text) return text.error();
  // A huge SpeedAvgIntervals holds a sample per line; the reading threads
  // end here, so running out of memory must be an error, not an escape.
  try {
    StatusReading reading = ParseStatusFile(text.value(), speedAvgIntervals);
    if (const std::optional<Error> wrong = RangeError(location, reading)) return *wrong;
    reading.Modified = text.Modified;
    return reading;
  } catch (const std::bad_alloc&) {
    return Error{RedactPasswords(location) + ": not enough memory to read it", ENOMEM};
  }
}

void ApplyStatusReading(Machine& machine, const Result<StatusReading>& file) {
  const StatusReading reading = file ? file.value() : StatusReading{};
  machine.Pmax = reading.Pmax;
  machine.RangeStart = reading.RangeStart;
  machine.CurrentP = reading.CurrentP;
  machine.Speed = reading.Speed;
  machine.Done = reading.Done;
  machine.StatusModified = reading.Modified;
  machine.StatusError = file ? std::string() : file.error().message;
}
