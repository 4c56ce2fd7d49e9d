#include "ranges/QueueWrites.h"

#include <cerrno>
#include <chrono>
#include <optional>
#include <string_view>
#include <utility>

#include "model/FileLock.h"
#include "model/FileStamp.h"
#include "model/Files.h"
#include "model/Lines.h"
#include "model/Numbers.h"
#include "model/Redaction.h"
#include "ranges/QueueFile.h"

namespace {

// How long a change waits for another quillstrand to finish its own.
constexpr std::chrono::milliseconds kQueueLockWait{10000};

// How often a change is staged again when its files changed meanwhile.
constexpr int kAttempts = 3;

std::string StagedPath(const std::string& file) { return file + ".new"; }

bool IsMissing(const Error& error) { return error.code == ENOENT; }

// A queue file as it is now, as a refresh reads it.
Result<std::vector<Range>> ReadQueueNow(const std::string& path) {
  const Result<std::string> text = ReadWholeFile(path);
  QueueFileReading reading = QueueReadingOf(text);
  if (!reading.Error.empty()) return text.error();
  // The client is writing that line: nothing read holds it, and a file
  // written over it would lose it.
  if (text && ForEachCompleteLine(text.value(), [](std::string_view) {}) != text.value().size())
    return Error{RedactPasswords(path) + ": its last line has no line end yet; nothing was written",
                 EAGAIN};
  return std::move(reading.Ranges);
}

// One file of a change: the file its staged file replaces (links
// resolved), and its queue as the change read it.
struct ChangedFile {
  std::string File;
  std::vector<Range> Base;
};

// The intent record: "file=PATH" for each file, each followed by a
// "base=PMIN PMAX" line for every range of its base.
std::string RecordText(const std::vector<ChangedFile>& files) {
  std::string text;
  for (const ChangedFile& file : files) {
    text += "file=" + file.File + '\n';
    for (const Range& range : file.Base)
      text += "base=" + DecimalText(range.Pmin) + ' ' + DecimalText(range.Pmax) + '\n';
  }
  return text;
}

std::vector<ChangedFile> ParseRecord(std::string_view text) {
  std::vector<ChangedFile> files;
  ForEachCompleteLine(text, [&](std::string_view line) {
    if (line.starts_with("file=")) {
      files.push_back({std::string(line.substr(5)), {}});
    } else if (line.starts_with("base=") && !files.empty()) {
      std::string_view rest;
      const auto pmin = ReadLeadingNumber(line.substr(5), &rest);
      const auto pmax = pmin ? ReadLeadingNumber(rest) : std::nullopt;
      if (pmax) files.back().Base.push_back({*pmin, *pmax});
    }
  });
  return files;
}

// Writes the queue into the staged file beside `file`, whole and flushed,
// with the permissions of `file`.
Status Stage(const std::string& file, const std::vector<Range>& queue) {
  return WriteFileAtomically(StagedPath(file), FormatQueuedRanges(queue), FilePermissions(file));
}

void RemoveStaged(const std::vector<ChangedFile>& files) {
  for (const ChangedFile& file : files) (void)RemoveDurably(StagedPath(file.File));
}

// What the clients took from the files since `before` was read, with
// `after` the files as they are now, one queue per file.
std::vector<Range> TakenFrom(const std::vector<std::vector<Range>>& before,
                             const std::vector<std::vector<Range>>& after) {
  std::vector<Range> taken;
  for (size_t i = 0; i < before.size(); ++i) {
    const std::vector<Range> fromThis = TakenRanges(before[i], after[i]);
    taken.insert(taken.end(), fromThis.begin(), fromThis.end());
  }
  return taken;
}

// A file of a recorded change as the next start finds it: its staged file,
// unless it replaced the file already, and the file as it is now.
struct RecordedFile {
  ChangedFile Change;
  std::optional<std::vector<Range>> Staged;
  std::vector<Range> Now;
};

Result<std::vector<RecordedFile>> ReadRecordedFiles(std::string_view record) {
  std::vector<RecordedFile> files;
  for (ChangedFile& change : ParseRecord(record)) {
    RecordedFile file{std::move(change), std::nullopt, {}};
    const Result<std::string> staged = ReadWholeFile(StagedPath(file.Change.File));
    if (staged)
      file.Staged = ParseQueuedRanges(staged.value());
    else if (!IsMissing(staged.error()))
      return staged.error();
    Result<std::vector<Range>> now = ReadQueueNow(file.Change.File);
    if (!now) return now.error();
    file.Now = std::move(now.value());
    files.push_back(std::move(file));
  }
  return files;
}

// What a finish queues of a merge: no one is there to be told of a range
// left out, so what no client took of it stays queued.
std::vector<Range> KeptByFinish(MergedQueue merged, const std::vector<Range>& taken) {
  const std::vector<Range> rest = OutsideOf(merged.LeftOut, taken);
  merged.Queue.insert(merged.Queue.end(), rest.begin(), rest.end());
  return std::move(merged.Queue);
}

// A recorded change is redone, never rolled back: once the record exists
// every staged file is whole on disk, and some may have replaced their
// files already, whose clients may have taken ranges from them since.
// Putting the old files back would queue those ranges again, and would need
// the old files kept; going forward needs only the staged files.
//
// While the program was down, the clients of the files not yet replaced
// went on taking ranges from the old ones. So each staged edit is merged
// into its file as it is now, and what was taken is queued nowhere: it is
// cut out of the ranges the change brought to the files replaced already,
// first, so that a finish itself cut short finds the same ranges taken.
Status FinishRecorded(const std::string& intentPath) {
  const Result<std::string> record = ReadWholeFile(intentPath);
  if (!record) return IsMissing(record.error()) ? Ok() : Status(record.error());
  const Result<std::vector<RecordedFile>> files = ReadRecordedFiles(record.value());
  if (!files) return files.error();
  std::vector<std::vector<Range>> bases, nows;
  for (const RecordedFile& file : files.value()) {
    if (!file.Staged) continue;
    bases.push_back(file.Change.Base);
    nows.push_back(file.Now);
  }
  const std::vector<Range> taken = TakenFrom(bases, nows);
  for (const RecordedFile& file : files.value()) {
    if (file.Staged || taken.empty()) continue;
    const std::vector<Range> queue =
        KeptByFinish(MergeQueueEdit(file.Change.Base, file.Now, file.Change.Base, taken), taken);
    if (queue == file.Now) continue;
    const std::string& path = file.Change.File;
    if (const Status written =
            WriteFileAtomically(path, FormatQueuedRanges(queue), FilePermissions(path));
        !written)
      return written;
  }
  for (const RecordedFile& file : files.value()) {
    if (!file.Staged) continue;
    const std::string& path = file.Change.File;
    if (file.Now != file.Change.Base || !taken.empty()) {
      const std::vector<Range> queue =
          KeptByFinish(MergeQueueEdit(file.Change.Base, *file.Staged, file.Now, taken), taken);
      if (const Status restaged = Stage(path, queue); !restaged) return restaged;
    }
    if (const Status renamed = RenameDurably(StagedPath(path), path); !renamed) return renamed;
  }
  return RemoveDurably(intentPath);
}

// The files that edits change, read as they are now, in the order of their
// targets: each Base is what its file holds, which its edit is merged into.
struct EditedFiles {
  std::vector<size_t> Targets;
  std::vector<ChangedFile> Files;
};

// Two machines whose status files share a folder share its queue file: one
// change cannot give it two queues.
Status RefuseSharedFiles(const std::vector<QueueEditTarget>& targets, const EditedFiles& read) {
  for (size_t i = 0; i < read.Files.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (read.Files[i].File == read.Files[j].File)
        return Error{RedactPasswords(targets[read.Targets[i]].Path) +
                         ": two machines share this queue file; nothing was written",
                     EINVAL};
  return Ok();
}

Result<EditedFiles> ReadEditedFiles(const std::vector<QueueEditTarget>& targets) {
  EditedFiles read;
  for (size_t i = 0; i < targets.size(); ++i) {
    if (targets[i].Edited == targets[i].AsRead) continue;
    Result<std::vector<Range>> now = ReadQueueNow(targets[i].Path);
    if (!now) return now.error();
    read.Targets.push_back(i);
    read.Files.push_back({FileBehindLinks(targets[i].Path), std::move(now.value())});
  }
  if (const Status shared = RefuseSharedFiles(targets, read); !shared) return shared.error();
  return read;
}

// Every target's edit merged into its file as read; a target left alone
// keeps its edit.
std::vector<MergedQueue> MergeEdits(const std::vector<QueueEditTarget>& targets,
                                    const EditedFiles& read) {
  std::vector<std::vector<Range>> asRead, now;
  for (size_t k = 0; k < read.Targets.size(); ++k) {
    asRead.push_back(targets[read.Targets[k]].AsRead);
    now.push_back(read.Files[k].Base);
  }
  // What a client took from any file is queued on none.
  const std::vector<Range> taken = TakenFrom(asRead, now);
  std::vector<MergedQueue> merged;
  for (const QueueEditTarget& target : targets) merged.push_back({target.Edited, {}});
  for (size_t k = 0; k < read.Targets.size(); ++k) {
    const QueueEditTarget& target = targets[read.Targets[k]];
    merged[read.Targets[k]] = MergeQueueEdit(target.AsRead, target.Edited, now[k], taken);
  }
  return merged;
}

// Stages the new queue of every file that changes, the file with its
// permissions; on failure removes what it staged, so that nothing is left
// of the change.
Result<std::vector<ChangedFile>> StageChanges(const EditedFiles& read,
                                              const std::vector<MergedQueue>& merged,
                                              const std::function<void()>& stepDone) {
  std::vector<ChangedFile> staged;
  for (size_t k = 0; k < read.Targets.size(); ++k) {
    const std::vector<Range>& queue = merged[read.Targets[k]].Queue;
    if (queue == read.Files[k].Base) continue;
    if (const Status written = Stage(read.Files[k].File, queue); !written) {
      RemoveStaged(staged);
      return written.error();
    }
    staged.push_back(read.Files[k]);
    stepDone();
  }
  return staged;
}

// The client may take a range while the change is staged; had it, the
// staged file would give it back. A file that is no longer as the change
// read it is named with EBUSY.
Status StillAsRead(const std::vector<ChangedFile>& files) {
  for (const ChangedFile& file : files) {
    const Result<std::vector<Range>> now = ReadQueueNow(file.File);
    if (!now) return now.error();
    if (now.value() != file.Base)
      return Error{RedactPasswords(file.File) +
                       ": it kept changing while it was written; nothing was written",
                   EBUSY};
  }
  return Ok();
}

// Records the staged change, then puts every staged file in place.
Status CommitChanges(const std::string& intentPath, const std::vector<ChangedFile>& staged,
                     const std::function<void()>& stepDone) {
  if (const Status recorded = WriteFileAtomically(intentPath, RecordText(staged), 0600);
      !recorded) {
    RemoveStaged(staged);
    return recorded;
  }
  stepDone();
  for (const ChangedFile& file : staged) {
    if (const Status renamed = RenameDurably(StagedPath(file.File), file.File); !renamed)
      return Error{renamed.error().message + "; the change is finished at the next start",
                   renamed.error().code};
    stepDone();
  }
  if (const Status removed = RemoveDurably(intentPath); !removed) return removed;
  stepDone();
  return Ok();
}

}  // namespace

std::string QueueIntentPath(const std::string& settingsPath) {
  return settingsPath + ".queue-writes";
}

Result<std::vector<MergedQueue>> WriteEditedQueues(const std::string& intentPath,
                                                   const std::vector<QueueEditTarget>& targets,
                                                   const std::function<void()>& afterStep) {
  const std::function<void()> stepDone = afterStep ? afterStep : [] {};
  const Result<FileLock> lock = FileLock::Acquire(intentPath, kQueueLockWait);
  if (!lock) return lock.error();
  // A change a killed program left comes first: its staged files would be
  // written over.
  if (const Status finished = FinishRecorded(intentPath); !finished) return finished.error();
  // A file that changed while the change was staged is read and merged
  // again; one that keeps changing is left as it is.
  for (int attempt = 1;; ++attempt) {
    const Result<EditedFiles> read = ReadEditedFiles(targets);
    if (!read) return read.error();
    std::vector<MergedQueue> merged = MergeEdits(targets, read.value());
    const Result<std::vector<ChangedFile>> staged = StageChanges(read.value(), merged, stepDone);
    if (!staged) return staged.error();
    if (staged.value().empty()) return merged;
    const Status unchanged = StillAsRead(staged.value());
    if (unchanged) {
      if (const Status committed = CommitChanges(intentPath, staged.value(), stepDone); !committed)
        return committed.error();
      return merged;
    }
    RemoveStaged(staged.value());
    if (unchanged.error().code != EBUSY || attempt == kAttempts) return unchanged.error();
  }
}

Status FinishQueueWrites(const std::string& intentPath) {
  // Nearly always there is nothing to finish: a start then makes no lock
  // file, so that a read-only settings folder stays usable. A record made
  // after this look belongs to a write under way, which finishes itself.
  if (!StampFile(intentPath).Exists) return Ok();
  const Result<FileLock> lock = FileLock::Acquire(intentPath, kQueueLockWait);
  if (!lock) return lock.error();
  return FinishRecorded(intentPath);
}
