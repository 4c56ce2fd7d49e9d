#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/Machine.h"
#include "model/Model.h"
#include "model/Result.h"

inline constexpr char kQueueFileName[] = "nextrange.txt";

// Where a machine's queued range file lies: "nextrange.txt" in the folder of
// its status file (everything before the last "\" or "/", keeping that
// separator; the current folder for a bare name). Nothing for an http
// status location, which has no queued range file.
std::optional<std::string> RangeFilePath(std::string_view statusPath);

// The ranges of a queued range file's text: "pmin=" and "pmax=" lines, a
// range for each pair of non-zero bounds, in file order. A last line
// without its line end is still being written and is left unread.
std::vector<Range> ParseQueuedRanges(std::string_view text);

// The text of a queued range file: a "pmin=" and a "pmax=" line for every
// range with 0 < Pmin < Pmax, in order; other ranges are left out.
std::string FormatQueuedRanges(const std::vector<Range>& ranges);

// A queue as its file holds it, or why a file that exists could not be
// read (its ranges are then empty).
struct QueueFileReading {
  std::vector<Range> Ranges;
  std::string Error;
};

// A queued range file as ReadWholeFile read it. A missing file is an empty
// queue, and so is one whose folder path leads through a regular file.
QueueFileReading QueueReadingOf(const Result<std::string>& file);

// Reads the queue of the machine whose status file is at `statusPath`; a
// machine without a queued range file has an empty one.
QueueFileReading ReadQueueFile(std::string_view statusPath);

// Sets the machine's QueuedRanges from its queued range file as read by
// ReadWholeFile. A missing file is an empty queue; a file that exists and
// could not be read leaves the queue empty and says why in QueueError.
void ApplyQueueFile(Machine& machine, const Result<std::string>& file);

// Replaces machine `index`'s QueuedRanges with what its file holds, as an
// edit of the queue (its QueueRevision moves). A missing file is an empty
// queue; a file that exists and cannot be read leaves the queue empty and
// says why in QueueError.
void ReadQueuedRanges(Model& model, size_t index);
