#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/Machine.h"
#include "model/Result.h"
#include "ranges/QueueMerge.h"

// Edits of several queue files are written as one change, so that a range
// moved from one machine to another is queued exactly once however the
// program ends:
//
//   under a lock beside the intent record, so that two quillstrands take turns:
//   read every file as it is now and merge the edit into it (MergeQueueEdit);
//     what a client took from any of the files is queued on none
//   stage each new file beside its file, flushed: "nextrange.txt.new"
//   read the files again: if a client took a range meanwhile, start over
//   write the intent record, which names every file to be replaced
//   rename each staged file over its file
//   remove the record
//
// A write killed before the record exists changed no queue (a staged file
// left over is written anew by the next change). One killed after it is
// finished by FinishQueueWrites, which both programs call as they start:
// it redoes the change rather than undo it (see QueueWrites.cpp for why).

// Where the record of the queue writes under way lies: beside the settings
// file, whose folder this program may write.
std::string QueueIntentPath(const std::string& settingsPath);

// One queue file to change: its path, the queue as the edit read it, and as
// the user left it.
struct QueueEditTarget {
  std::string Path;
  std::vector<Range> AsRead;
  std::vector<Range> Edited;
};

// Writes every target's edit, merged into its file as it is now, as one
// change, and gives the merge of each, in the targets' order. A target whose
// edit changes nothing is neither read nor written (its merge is its edit),
// so that a machine left alone cannot stop the others' change. A file that
// cannot be read, whose last line has no line end yet, or whose new file
// cannot be staged stops the change before any queue is touched: the error
// names the file and the reason. `afterStep`, when given, runs after each
// step that leaves something on disk, for tests that end the program there.
Result<std::vector<MergedQueue>> WriteEditedQueues(const std::string& intentPath,
                                                   const std::vector<QueueEditTarget>& targets,
                                                   const std::function<void()>& afterStep = {});

// Finishes a change that a killed program left recorded at `intentPath`;
// nothing to do when there is none.
Status FinishQueueWrites(const std::string& intentPath);
