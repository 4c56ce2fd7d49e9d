#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "farm/Refresh.h"
#include "location/Fetcher.h"
#include "model/FileStamp.h"
#include "model/Model.h"
#include "model/Result.h"
#include "ranges/Equalize.h"
#include "ranges/QueueMerge.h"
#include "session/BackgroundRunner.h"
#include "session/MachineHealth.h"
#include "session/MachineListRow.h"
#include "session/RowPresenter.h"
#include "session/SelectionFollower.h"
#include "session/SpeedChartData.h"
#include "session/SubmissionRun.h"
#include "submit/Submission.h"
#include "submit/SubmissionLog.h"

// The window's one door to the core. It owns the model, knows the settings
// file's path and the fetcher, runs reads in its background runner so that
// the window never waits for a slow host, applies their results on its own
// thread, and signals when what is on display has changed. Text crosses
// between the core's std::string and Qt's QString only here.
// Its jobs live in parts: SubmissionRun posts the new factors and ends the
// submission; SelectionFollower keeps the selected machine and reads its
// factors and its chart; RowPresenter words the machine list's rows;
// MachineTest.cpp tries a machine's locations; RangeEdits.cpp plans the
// range edits. The session itself keeps the settings file's stamps, the
// refresh, the farm's replacement and the queue writes, and the edit lock.
// The fetcher the program reads http locations with, for the session to own.
std::shared_ptr<const Fetcher> MakeNetworkFetcher();

class FarmSession : public QObject {
  Q_OBJECT

 public:
  enum class Activity { Idle, Refreshing, Submitting };

  FarmSession(std::string settingsPath, std::shared_ptr<const Fetcher> fetcher,
              QObject* parent = nullptr);
  ~FarmSession() override;

  Status loadSettings();
  // Writes what this session changed since it last read or wrote the file
  // (SaveOwnChanges), so that what others wrote meanwhile survives, and
  // takes on what the file holds then.
  Status saveSettings();
  const std::string& settingsPath() const { return settingsPath_; }
  // True when someone else changed the settings file's options or machines
  // since the session last read or wrote it. Marks moved by others are not
  // counted: a save keeps them unless this session moved the same.
  bool settingsChangedOnDisk() const;
  // Puts the settings file's options and machines in place of those in
  // use, as replaceFarm does, without saving; a file that cannot be read
  // changes nothing. The caller refreshes.
  Status reloadSettings();

  // Keeps the window's layout with the options, for the next save.
  void keepWindowLayout(WindowLayout layout) { model_.Options.Window = std::move(layout); }

  // Starts a refresh of every machine. While an edit lock lives the
  // request waits and runs once when the lock goes; while a refresh or a
  // submission runs it is dropped, and this gives false.
  bool refresh();

  // Selects the machine at `row`: the factors on display narrow to it once
  // its factor file has been read, and stay its own through every refresh,
  // each of which reads that file again when it ends. A read is dropped if
  // another selection comes first or the table changes meanwhile. The
  // selection lasts until a new table no longer holds the machine.
  void selectMachine(int row);
  // Drops the selection: the chart empties, and a refresh starts at once,
  // whose end shows every machine's new factors again.
  void selectAllMachines();
  // The selected machine's row, if one is selected.
  std::optional<int> selectedMachine() const;
  // Whose new factors are on display, and how many, for what acts on them:
  // "NAME: N new factors", or "All M machines: N new factors".
  QString newFactorsScope() const;

  // The speed chart follows the selected machine. It is read only while
  // the window shows it: with the selection's factor file, after each
  // refresh, and when it comes into view with something newer to show.
  void setChartShown(bool shown) { selection_.setChartShown(shown); }
  const SpeedChartData& chart() const { return selection_.chart(); }

  // Declares the new factors on display submitted, merging the marks into
  // the settings file as it is now; a change made to the file by another
  // hand before stays one that settingsChangedOnDisk tells.
  Status markNewFactorsAsOld();

  // Submits the new factors on display to the project site: manually (the
  // Submit button) or automatically (the timer). Gives what to tell the
  // user at once instead, if anything (manual mode only). Otherwise the
  // post runs in the background when there is something to post. When its
  // answer is in and there is something to tell or ask, submissionAnswered
  // follows; the caller then shows outcomeMessage() and ends it with
  // finishSubmission. Otherwise it ends by itself. While an edit lock lives an automatic
  // submission waits for it (nothing else can ask while a dialog is open).
  std::optional<SubmitMessage> submit(bool manual);
  // What to tell or ask the user of the submission's answer, if anything.
  std::optional<SubmitMessage> outcomeMessage() const;
  // Ends the submission: marks what was posted as old when the site
  // understood it (in manual mode only if `agreed`), logs it, saves; a
  // failed save or log is told through `problem`.
  void finishSubmission(bool agreed);
  // How long a submission may wait for the site; tests shorten it.
  void setSubmitLimits(FormPostLimits limits) { submission_.setLimits(limits); }

  // Puts the options and the machines of the Options dialog in place and
  // saves the settings; what was read for the old table is never applied
  // to the new one. The caller refreshes.
  Status replaceFarm(Settings options, MachineTable machines);

  // One machine's queue file as read in the background: its ranges, or why it could not be read
  // (a missing file is an empty queue; an http machine has none and reads empty).
  struct QueueReading {
    std::vector<Range> Ranges;
    QString Error;
  };
  // Reads every machine's queue file off the UI thread; `done` runs on the session's thread with
  // one reading per machine in table order. Dropped if the table was replaced meanwhile.
  void readQueues(std::function<void(std::vector<QueueReading>)> done);
  struct QueueEdit {
    std::vector<Range> AsRead;
    std::vector<Range> Edited;
  };  // one per machine, table order
  struct QueueWriteOutcome {
    // Empty when written: else the file and the reason; nothing was written.
    QString Failure;
    // Every machine's queue as its file holds it afterwards.
    std::vector<std::vector<Range>> Queues;
    // Machine, range: edited ranges left out since the client took them.
    std::vector<std::pair<int, Range>> LeftOut;
  };
  // Writes the edits as one change (WriteEditedQueues) in the background, each applied to its file
  // as it is now; puts the queues written into the model (their QueueRevision moves, so a refresh
  // that read a queue before is not applied over it); `done` runs on the session's thread. Neither
  // waits for an edit lock: the dialog that holds one waits for them.
  void writeQueues(std::vector<QueueEdit> edits, std::function<void(QueueWriteOutcome)> done);
  // Finishes, in the background, a change of the queue files that a killed
  // quillstrand left (FinishQueueWrites); a failure is told through `problem`.
  void finishQueueWrites();

  const Model& model() const { return model_; }
  Activity activity() const;
  bool refreshing() const { return model_.RefreshBusy; }
  BackgroundRunner& runner() { return runner_; }
  // What the refresh reads machines' files with, for a look at a machine
  // outside a refresh.
  // Equalize over the machines as the Manage ranges dialog edits them: first
  // its plan, what the dialog tells and asks before it hands anything out,
  // in that order; then the handing out.
  struct EqualizeSteps {
    // The machines left out, a line each, and a blank line; empty when
    // every machine takes part. It goes before what Equalize tells last.
    QString leftOut;
    QString noSpeed;  // told instead of handing out, when no speed is known
    QString attentionCaption;
    QStringList attention;    // each told under attentionCaption
    QString overlapQuestion;  // asked when some p would be sieved twice; Cancel stops
    std::vector<EqualizeMachine> machines;
    EqualizePlan plan;
  };
  EqualizeSteps planEqualize(const MachineTable& machines) const;
  // Gives `machines` their new queues as planned, and the message that
  // tells when everything should be done.
  static QString equalize(MachineTable& machines, const EqualizeSteps& steps);

  // Whether a machine with this status location has a queued range file: an
  // http one has none.
  static bool hasQueueFile(const std::string& statusPath);
  // The merge of a queue edited in memory with its file as it is now.
  using MergedQueue = ::MergedQueue;
  // What a client took from a queue read as `asRead` that now holds `now`.
  static std::vector<Range> takenRanges(const std::vector<Range>& asRead,
                                        const std::vector<Range>& now);
  // The edit from `asRead` to `edited` applied to the file's `now`, without
  // what any client took (`taken`).
  static MergedQueue mergeQueueEdit(const std::vector<Range>& asRead,
                                    const std::vector<Range>& edited, const std::vector<Range>& now,
                                    const std::vector<Range>& taken);

  // A machine's locations as the machine dialog has them, to try them
  // before they are kept.
  struct MachineTest {
    std::string statusPath;
    std::string factorPath;
    uint64_t lastOldFactor = 0;
  };
  // Reads the machine's files once, in the background, and gives `told`, on
  // this thread, what they hold: a line for each. Nothing of it reaches the
  // farm; `stop` stops the reading.
  void testMachine(MachineTest test, std::stop_source stop,
                   std::function<void(const QString&)> told);

  std::vector<MachineListRow> machineRows() const;
  MachineListRow machineRow(int row) const;
  // The machines' health and the farm's summary line, judged at `now` in
  // Unix seconds.
  std::vector<MachineHealth> farmHealth(int64_t now) const;
  MachineHealth machineHealth(int row, int64_t now) const;
  QString summaryText(int64_t now) const;
  // The warnings of the machines that have entered a warning state since
  // the last call, judged at `now`.
  std::vector<std::string> takeNewWarnings(int64_t now);
  QString newFactorsText() const;  // lines end in CR LF
  int newFactorCount() const { return model_.NewFactorCount; }
  bool hasNewFactorMarks() const { return !model_.Marks.empty(); }
  // The page that Copy new opens, when it is to open one.
  std::optional<QUrl> copyNewUrl() const;

  // Held by whatever edits the table or the queues, or asks the user about
  // the factors on display, for as long as it is open. Meanwhile results of
  // background work wait, and refreshes asked for wait too; when the last
  // lock goes the results are applied (a result read for a table or a
  // queue edited since is dropped there) and a refresh asked for runs once.
  class EditLock {
   public:
    explicit EditLock(FarmSession& session);
    EditLock(const EditLock&) = delete;
    EditLock& operator=(const EditLock&) = delete;
    ~EditLock();

   private:
    FarmSession& session_;
  };
  bool editing() const { return editLocks_ > 0; }

 signals:
  void refreshStarted(int machines);
  // A refresh asked for while editing could not run when the lock went.
  void refreshDropped();
  // The site's answer (or why there is none) is in, with something to tell
  // or ask: see outcomeMessage().
  void submissionAnswered();
  // A submission has ended, after finishSubmission or without a post.
  void submissionEnded();
  // Something the user must know of went wrong in the background.
  void problem(const QString& text);
  void refreshProgress(int read, int machines);
  // Machine `row`'s cells have changed.
  void machineChanged(int row);
  // The refresh has ended: every row may have changed.
  void refreshed();
  // The machines have been replaced: every row has changed.
  void tableReplaced();
  // The factors on display have changed (a refresh, a selection, Mark as old).
  void factorsChanged();
  void activityChanged();
  // The speed chart's data has changed.
  void chartChanged();

 private:
  // The parts that do one of the session's jobs reach its model, runner
  // and signals as the session does.
  friend class RowPresenter;
  friend class SelectionFollower;
  friend class SubmissionRun;

  struct RunningRefresh;

  bool startRefresh();
  void putFarm(Settings options, MachineTable machines);
  // After this session wrote its marks into the settings file.
  void marksWritten(bool fileWasCurrent);
  void adoptSettings(Model written);
  void applyMachine(uint64_t id, size_t index, MachineFiles files);
  void endRefresh(uint64_t id);
  // Puts what the queue files hold after a write into the model of `table`.
  void queuesWritten(uint64_t table, const std::vector<QueueReading>& readings);
  // Applies a result now, or when the last edit lock goes.
  void deliver(std::function<void()> apply);
  void unlocked();
  // Whether the refresh under way has still to read machine `row`.
  bool waitingFor(size_t row) const;
  // How long the refresh under way has run, in milliseconds.
  int64_t refreshElapsed() const;

  Model model_;
  std::string settingsPath_;
  // The settings file as the session last read or wrote it: its stamp, and
  // what it held. What model_ holds otherwise is this session's change.
  FileStamp settingsStamp_;
  Model settingsBase_;
  // The Options dialog's table was confirmed and is still to be saved.
  bool tableReplaced_ = false;
  std::shared_ptr<const Fetcher> fetcher_;
  BackgroundRunner runner_;
  // Survives the table being replaced, as the machines do that stay.
  WarningMemory warnings_;
  std::unique_ptr<RunningRefresh> refresh_;
  uint64_t refreshes_ = 0;
  int editLocks_ = 0;
  bool refreshWanted_ = false;
  bool submitWanted_ = false;
  std::vector<std::function<void()>> held_;
  SelectionFollower selection_{*this};
  RowPresenter rows_{*this};
  SubmissionRun submission_;
};
