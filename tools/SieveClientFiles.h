#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/Machine.h"
#include "model/Result.h"

// Appends `text` to the file at `path` in one write, so that a reader sees
// whole lines only; creates the file when it is missing.
Status AppendToFile(const std::string& path, std::string_view text);

// Takes the first range of the queued range file at `path` and leaves the
// others in it; nothing when the file is missing or holds no range.
//
// quillstrand replaces the file whole (a new file renamed over it) whenever
// the user confirms new queues, at any moment. The rest of the queue is
// therefore swapped in atomically, and only kept if what it displaced is
// the very file that was read; a file written in between is put back and
// the range taken from it instead, so that no queue the user wrote is lost.
//
// `beforeSwap`, when given, runs before every swap: tests write the file
// there as quillstrand would.
Result<std::optional<Range>> TakeQueuedRange(const std::string& path,
                                             const std::function<void()>& beforeSwap = {});
