#include "ranges/QueueFile.h"

#include <cerrno>
#include <utility>

#include "location/Location.h"
#include "model/Files.h"
#include "model/Lines.h"
#include "model/Numbers.h"

namespace {

// A bound that cannot be read (no digits, too large) keeps the pending
// value; a bound of 0 reads as 0, which counts as missing.
void ReadBound(std::string_view value, uint64_t& bound) {
  if (const auto number = ReadLeadingNumber(value)) bound = *number;
}

void AppendLine(std::string& text, std::string_view key, uint64_t value) {
  text.append(key);
  text.append(DecimalText(value));
  text.push_back('\n');
}

void SetQueue(Machine& machine, QueueFileReading reading) {
  machine.QueuedRanges = std::move(reading.Ranges);
  machine.QueueError = std::move(reading.Error);
}

}  // namespace

std::optional<std::string> RangeFilePath(std::string_view statusPath) {
  // Without a status file there is no folder for the queue: an empty
  // location must not read or write one in the current folder.
  if (statusPath.empty() || IsHttpLocation(statusPath)) return std::nullopt;
  const size_t separator = statusPath.find_last_of("\\/");
  const size_t folderLength = separator == std::string_view::npos ? 0 : separator + 1;
  return std::string(statusPath.substr(0, folderLength)) + kQueueFileName;
}

std::vector<Range> ParseQueuedRanges(std::string_view text) {
  std::vector<Range> ranges;
  Range pending;
  ForEachCompleteLine(text, [&](std::string_view line) {
    if (line.starts_with("pmin=")) {
      ReadBound(line.substr(5), pending.Pmin);
    } else if (line.starts_with("pmax=")) {
      ReadBound(line.substr(5), pending.Pmax);
    }
    if (pending.Pmin != 0 && pending.Pmax != 0) {
      ranges.push_back(pending);
      pending = Range{};
    }
  });
  return ranges;
}

std::string FormatQueuedRanges(const std::vector<Range>& ranges) {
  std::string text;
  for (const Range& range : ranges) {
    if (range.Pmin == 0 || range.Pmin >= range.Pmax) continue;
    AppendLine(text, "pmin=", range.Pmin);
    AppendLine(text, "pmax=", range.Pmax);
  }
  return text;
}

QueueFileReading QueueReadingOf(const Result<std::string>& file) {
  if (file) return {ParseQueuedRanges(file.value()), {}};
  // A machine that never had a queue has no file; nor can one whose status
  // path leads through a regular file (ENOTDIR).
  const int code = file.error().code;
  if (code == ENOENT || code == ENOTDIR) return {};
  return {{}, file.error().message};
}

QueueFileReading ReadQueueFile(std::string_view statusPath) {
  const auto path = RangeFilePath(statusPath);
  return path ? QueueReadingOf(ReadWholeFile(*path)) : QueueFileReading{};
}

void ApplyQueueFile(Machine& machine, const Result<std::string>& file) {
  SetQueue(machine, QueueReadingOf(file));
}

void ReadQueuedRanges(Model& model, size_t index) {
  Machine& machine = model.Machines[index];
  SetQueue(machine, ReadQueueFile(machine.StatusPath));
  ++machine.QueueRevision;
}
