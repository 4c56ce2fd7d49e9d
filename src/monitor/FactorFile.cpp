#include "monitor/FactorFile.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <new>
#include <stdexcept>

#include "model/Files.h"
#include "model/Lines.h"
#include "model/Numbers.h"
#include "model/Redaction.h"

namespace {

void AppendPaneLine(std::string& pane, std::string_view line) {
  pane.append(line);
  pane.append("\r\n");
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
  machine.NewFactors = reading.NewCount;
  if (reading.Mark) model.Marks.push_back({static_cast<int32_t>(index), *reading.Mark});
  model.NewFactorCount = SaturatingAdd(model.NewFactorCount, reading.NewCount);
}

// Resets the machine's counts; true when there is a file to read them from.
bool StartReading(Machine& machine, const Error* error) {
  machine.TotalFactors = 0;
  machine.RangeFactors = 0;
  machine.NewFactors = 0;
  machine.FactorError = error ? error->message : std::string();
  return !error;
}

Error OutOfMemory(const std::string& location) {
  return Error{RedactPasswords(location) + ": not enough memory to hold its factors", ENOMEM};
}

// A pane text is kept as long as it is shown: the room reserved for lines
// that turned out old, or were never there, is given back first.
std::string Trimmed(std::string text) {
  if (text.capacity() > 2 * text.size()) text.shrink_to_fit();
  return text;
}

// Feeds machine `index`'s factor file, line by line through `feed`, into
// texts of its own, which become the machine's parts of the panes; a file
// that fails midway, or does not fit, leaves the panes as they were and
// says why.
template <typename Feed>
void ApplyFactorLines(Model& model, size_t index, bool fillAllFactors, const std::string& location,
                      const Feed& feed) {
  Machine& machine = model.Machines[index];
  std::string newText, allText;
  FactorScanner scanner(machine.LastOldFactor, machine.RangeStart, machine.Pmax, newText,
                        fillAllFactors ? &allText : nullptr);
  Status fed = Ok();
  FactorReading reading;
  try {
    fed = feed(scanner);
    if (fed) reading = scanner.Finish();
    newText = Trimmed(std::move(newText));
    allText = Trimmed(std::move(allText));
  } catch (const std::bad_alloc&) {
    fed = OutOfMemory(location);
  }
  if (!fed) {
    machine.FactorError = fed.error().message;
    return;
  }
  model.NewFactorsText.append(std::move(newText));
  model.AllFactorsText.append(std::move(allText));
  RecordReading(model, index, reading);
}

void ApplyFactorSource(Model& model, size_t index, const FactorSource& source,
                       bool fillAllFactors) {
  ApplyFactorLines(model, index, fillAllFactors, source.location(),
                   [&](FactorScanner& scanner) { return source.Scan(scanner); });
}

}  // namespace

bool IsFactorLine(std::string_view line) {
  return !line.empty() && line[0] >= '1' && line[0] <= '9';
}

std::optional<uint64_t> ParseLeadingP(std::string_view line) { return ReadLeadingNumber(line); }

FactorScanner::FactorScanner(uint64_t lastOldFactor, uint64_t rangeStart, uint64_t pmax,
                             std::string& newText, std::string* allText)
    : lastOldFactor_(lastOldFactor),
      rangeStart_(rangeStart),
      pmax_(pmax),
      newText_(newText),
      allText_(allText),
      newStart_(newText.size()) {}

void FactorScanner::Reserve(uint64_t fileSize) {
  // A pane line is at most half again its file line ("1\n" gives "1\r\n").
  const uint64_t most = fileSize + fileSize / 2 + 2;
  // Only room: it costs memory as it is filled. Without it the texts
  // still grow, if less smoothly.
  try {
    newText_.reserve(newText_.size() + most);
    if (allText_) allText_->reserve(allText_->size() + most);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

void FactorScanner::operator()(std::string_view line) {
  if (!IsFactorLine(line)) return;
  ++total_;
  if (allText_) AppendPaneLine(*allText_, line);
  if (const std::optional<uint64_t> p = ParseLeadingP(line)) {
    lastP_ = p;
    if (rangeStart_ <= *p && *p <= pmax_) ++inRange_;
  }
  // A line without a p after the old mark's line goes with it.
  if (lastP_ == lastOldFactor_) {
    // The lines before the old mark were not new after all.
    if (!oldMarkSeen_) {
      newText_.resize(newStart_);
      newCount_ = 0;
    }
    oldMarkSeen_ = true;
    return;
  }
  AppendPaneLine(newText_, line);
  ++newCount_;
}

FactorReading FactorScanner::Finish() {
  FactorReading reading{Saturated(total_), Saturated(inRange_), 0, std::nullopt};
  // A file that ends with the old mark has nothing new; one without a line
  // that has a p has nothing to mark, and so nothing new either.
  if (!lastP_ || (oldMarkSeen_ && lastP_ == lastOldFactor_)) {
    newText_.resize(newStart_);
    return reading;
  }
  reading.NewCount = Saturated(newCount_);
  reading.Mark = lastP_;
  return reading;
}

FactorReading ScanFactorFile(std::string_view text, uint64_t lastOldFactor, uint64_t rangeStart,
                             uint64_t pmax, std::string& newText, std::string* allText) {
  FactorScanner scanner(lastOldFactor, rangeStart, pmax, newText, allText);
  ForEachCompleteLine(text, scanner);
  return scanner.Finish();
}

Result<FactorSource> FactorSource::Open(const std::string& location, const Fetcher& fetcher) {
  if (!location.empty() && !IsHttpLocation(location)) return FactorSource(location, std::nullopt);
  LocationText body = OpenLocation(location, fetcher);
  if (!body) return body.error();
  return FactorSource(location, std::move(body.value()));
}

Status FactorSource::Scan(FactorScanner& scanner) const {
  if (body_) {
    scanner.Reserve(body_->size());
    ForEachCompleteLine(*body_, scanner);
    return Ok();
  }
  const Result<ReadableFile> file = ReadableFile::Open(location_, kMaxFactorFileSize);
  if (!file) return file.error();
  scanner.Reserve(file.value().size());
  return file.value().ReadLines(std::ref(scanner));
}

void ApplyFactorFile(Model& model, size_t index, const LocationText& file, bool fillAllFactors) {
  if (!StartReading(model.Machines[index], file ? nullptr : &file.error())) return;
  ApplyFactorLines(model, index, fillAllFactors, model.Machines[index].FactorPath,
                   [&](FactorScanner& scanner) {
                     ForEachCompleteLine(file.value(), scanner);
                     return Ok();
                   });
}

void ReadFactorFile(Model& model, size_t index, bool fillAllFactors, const Fetcher& fetcher) {
  const Result<FactorSource> source = FactorSource::Open(model.Machines[index].FactorPath, fetcher);
  if (StartReading(model.Machines[index], source ? nullptr : &source.error()))
    ApplyFactorSource(model, index, source.value(), fillAllFactors);
}

Result<FactorScan> ScanFactorFileAhead(Result<FactorSource> source, uint64_t lastOldFactor,
                                       uint64_t rangeStart, uint64_t pmax) {
  if (!source) return source.error();
  FactorScan scan{std::move(source.value()), lastOldFactor, {}, {}};
  try {
    FactorScanner scanner(lastOldFactor, rangeStart, pmax, scan.newText, nullptr);
    if (const Status read = scan.source.Scan(scanner); !read) return read.error();
    scan.reading = scanner.Finish();
    scan.newText = Trimmed(std::move(scan.newText));
  } catch (const std::bad_alloc&) {
    return OutOfMemory(scan.source.location());
  }
  return scan;
}

void ApplyFactorScan(Model& model, size_t index, Result<FactorScan>& scan) {
  if (!StartReading(model.Machines[index], scan ? nullptr : &scan.error())) return;
  FactorScan& read = scan.value();
  if (read.lastOldFactor != model.Machines[index].LastOldFactor) {
    ApplyFactorSource(model, index, read.source, false);
    return;
  }
  model.NewFactorsText.append(std::move(read.newText));
  RecordReading(model, index, read.reading);
}
