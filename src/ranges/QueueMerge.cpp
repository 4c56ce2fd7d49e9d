#include "ranges/QueueMerge.h"

#include <algorithm>
#include <utility>

namespace {

// Takes one copy of `range` out of `ranges`; false when there is none.
bool TakeOut(std::vector<Range>& ranges, const Range& range) {
  const auto found = std::find(ranges.begin(), ranges.end(), range);
  if (found == ranges.end()) return false;
  ranges.erase(found);
  return true;
}

bool OverlapsAny(const Range& range, const std::vector<Range>& ranges) {
  return std::any_of(ranges.begin(), ranges.end(),
                     [&](const Range& other) { return Overlaps(range, other); });
}

}  // namespace

std::vector<Range> TakenRanges(const std::vector<Range>& asRead, const std::vector<Range>& now) {
  std::vector<Range> left = now;
  std::vector<Range> taken;
  for (const Range& range : asRead)
    if (!TakeOut(left, range)) taken.push_back(range);
  return taken;
}

MergedQueue MergeQueueEdit(const std::vector<Range>& asRead, const std::vector<Range>& edited,
                           const std::vector<Range>& now) {
  return MergeQueueEdit(asRead, edited, now, TakenRanges(asRead, now));
}

MergedQueue MergeQueueEdit(const std::vector<Range>& asRead, const std::vector<Range>& edited,
                           const std::vector<Range>& now, const std::vector<Range>& taken) {
  // Each copy of a range is matched once: a queue may hold the same range
  // twice, and its client may have taken one of them.
  std::vector<Range> unedited = asRead;
  std::vector<Range> stillThere = now;
  MergedQueue merged;
  for (const Range& range : edited) {
    if (TakeOut(unedited, range)) {
      // The user left it as read: it stays only while the file still holds it.
      if (TakeOut(stillThere, range)) merged.Queue.push_back(range);
    } else if (OverlapsAny(range, taken)) {
      merged.LeftOut.push_back(range);
    } else {
      merged.Queue.push_back(range);
      // Added by others too (another quillstrand making the same edit): queued once.
      TakeOut(stillThere, range);
    }
  }
  // What the file holds beyond what was read was added by others; what the
  // user deleted of what was read stays deleted.
  for (const Range& range : unedited) TakeOut(stillThere, range);
  merged.Queue.insert(merged.Queue.end(), stillThere.begin(), stillThere.end());
  return merged;
}

std::vector<Range> OutsideOf(const std::vector<Range>& ranges, const std::vector<Range>& taken) {
  std::vector<Range> pieces = ranges;
  for (const Range& cut : taken) {
    std::vector<Range> left;
    for (const Range& piece : pieces) {
      if (!Overlaps(piece, cut)) {
        left.push_back(piece);
        continue;
      }
      if (piece.Pmin < cut.Pmin) left.push_back({piece.Pmin, cut.Pmin});
      if (cut.Pmax < piece.Pmax) left.push_back({cut.Pmax, piece.Pmax});
    }
    pieces = std::move(left);
  }
  return pieces;
}
