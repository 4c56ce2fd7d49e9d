#pragma once

#include <vector>

#include "model/Machine.h"

// A queue file is shared: its client takes the first range from it at any
// moment, and others may append to it. An edit made on a copy read earlier
// is therefore applied to the file as it is when written, never over it.
struct MergedQueue {
  std::vector<Range> Queue;  // what is to be written
  // Ranges the user edited or added that overlap a range the client took meanwhile.
  std::vector<Range> LeftOut;
};

// The user's edit of a queue read as `asRead`, applied to the file as it is now (`now`):
// ranges of asRead that are gone from now were taken (by the client) and are not written back;
// ranges added to the file by others meanwhile are kept; a range the user changed or added that
// overlaps a taken one is left out and named.
MergedQueue MergeQueueEdit(const std::vector<Range>& asRead, const std::vector<Range>& edited,
                           const std::vector<Range>& now);

// The ranges of `asRead` that are gone from `now`, each as often as it is
// missing: what the client took meanwhile.
std::vector<Range> TakenRanges(const std::vector<Range>& asRead, const std::vector<Range>& now);

// MergeQueueEdit for a file changed together with others: `taken` holds
// what the clients took from any of them, since a range moved from one
// machine to another must not be queued where its old client sieves it.
MergedQueue MergeQueueEdit(const std::vector<Range>& asRead, const std::vector<Range>& edited,
                           const std::vector<Range>& now, const std::vector<Range>& taken);

// The parts of `ranges` that no range of `taken` covers, in order: what is
// left to sieve of ranges that overlap what a client took.
std::vector<Range> OutsideOf(const std::vector<Range>& ranges, const std::vector<Range>& taken);
