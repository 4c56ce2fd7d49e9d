#include "session/FarmSession.h"

#include <algorithm>

#include "location/CurlFetcher.h"
#include "model/SettingsFile.h"
#include "ranges/QueueFile.h"
#include "ranges/QueueWrites.h"
#include "submit/NewFactorActions.h"

namespace {

const QString kUnfinishedQueueWrite =
    QStringLiteral("A change of the queued range files that was cut short could not be finished: ");

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The part of a model that the settings file holds.
Model SettingsOf(const Model& model) {
  Model settings;
  settings.Options = model.Options;
  settings.Machines = model.Machines;
  return settings;
}

QString NewFactorsCount(int count) {
  return count == 1 ? QStringLiteral("1 new factor") : QString("%1 new factors").arg(count);
}

std::vector<std::string> StatusPaths(const MachineTable& machines) {
  std::vector<std::string> paths;
  paths.reserve(machines.size());
  for (const Machine& machine : machines) paths.push_back(machine.StatusPath);
  return paths;
}

// Reads the queue file of every machine. Runs on a worker thread.
std::vector<FarmSession::QueueReading> ReadQueues(const std::vector<std::string>& statusPaths) {
  std::vector<FarmSession::QueueReading> readings;
  readings.reserve(statusPaths.size());
  for (const std::string& path : statusPaths) {
    QueueFileReading reading = ReadQueueFile(path);
    readings.push_back({std::move(reading.Ranges), Text(reading.Error)});
  }
  return readings;
}

// The queue files that the edits change, and whose they are; a machine
// without one (http) has nothing to write.
struct EditTargets {
  EditTargets(const std::vector<std::string>& statusPaths,
              const std::vector<FarmSession::QueueEdit>& edits) {
    for (size_t i = 0; i < std::min(statusPaths.size(), edits.size()); ++i) {
      const auto path = RangeFilePath(statusPaths[i]);
      if (!path) continue;
      files.push_back({*path, edits[i].AsRead, edits[i].Edited});
      machines.push_back(static_cast<int>(i));
    }
  }

  std::vector<QueueEditTarget> files;
  std::vector<int> machines;
};

}  // namespace

// A refresh between its start and its end: what it asked for, applied as
// machines come in.
struct FarmSession::RunningRefresh {
  RunningRefresh(Model& model, RefreshRequest read)
      : request(std::make_shared<const RefreshRequest>(std::move(read))), applier(model, *request) {
    started.start();
  }

  uint64_t id = 0;
  std::shared_ptr<const RefreshRequest> request;
  RefreshApplier applier;
  QElapsedTimer started;
};

FarmSession::FarmSession(std::string settingsPath, std::shared_ptr<const Fetcher> fetcher,
                         QObject* parent)
    : QObject(parent),
      settingsPath_(std::move(settingsPath)),
      fetcher_(std::move(fetcher)),
      submission_(*this, settingsPath_) {}

FarmSession::~FarmSession() = default;

Status FarmSession::loadSettings() {
  // Taken first: a change made while the file is read is one more to ask about, not one lost.
  settingsStamp_ = StampFile(settingsPath_);
  Status loaded = LoadSettings(settingsPath_, model_);
  settingsBase_ = SettingsOf(model_);
  return loaded;
}

Status FarmSession::saveSettings() {
  Result<Model> written = SaveOwnChanges(settingsPath_, settingsBase_, model_, tableReplaced_);
  if (!written) return written.error();
  settingsStamp_ = StampFile(settingsPath_);
  tableReplaced_ = false;
  adoptSettings(std::move(written.value()));
  return Ok();
}

void FarmSession::marksWritten(bool fileWasCurrent) {
  // A change made by another hand before stays one to ask about.
  if (fileWasCurrent) settingsStamp_ = StampFile(settingsPath_);
  // Marks just written are no change of this session's any more.
  if (!SameMachines(settingsBase_.Machines, model_.Machines)) return;
  for (size_t i = 0; i < model_.Machines.size(); ++i)
    settingsBase_.Machines[i].LastOldFactor = model_.Machines[i].LastOldFactor;
}

void FarmSession::adoptSettings(Model written) {
  if (SameMachines(model_.Machines, written.Machines)) {
    model_.Options = written.Options;
    for (size_t i = 0; i < written.Machines.size(); ++i)
      model_.Machines[i].LastOldFactor = written.Machines[i].LastOldFactor;
  } else {
    putFarm(written.Options, written.Machines);
  }
  settingsBase_ = std::move(written);
}

bool FarmSession::settingsChangedOnDisk() const {
  if (!ChangedSince(settingsStamp_, StampFile(settingsPath_))) return false;
  Model onDisk;
  if (!LoadSettings(settingsPath_, onDisk)) return true;  // whatever it holds, it is not ours
  return onDisk.Options != settingsBase_.Options ||
         !SameMachines(onDisk.Machines, settingsBase_.Machines);
}

Status FarmSession::reloadSettings() {
  const FileStamp stamp = StampFile(settingsPath_);
  Model loaded;
  if (Status read = LoadSettings(settingsPath_, loaded); !read) return read;
  settingsStamp_ = stamp;
  settingsBase_ = SettingsOf(loaded);
  tableReplaced_ = false;
  putFarm(std::move(loaded.Options), std::move(loaded.Machines));
  return Ok();
}

FarmSession::Activity FarmSession::activity() const {
  if (model_.SubmitBusy) return Activity::Submitting;
  return model_.RefreshBusy ? Activity::Refreshing : Activity::Idle;
}

bool FarmSession::refresh() {
  if (editing()) {
    refreshWanted_ = true;
    return true;
  }
  return startRefresh();
}

bool FarmSession::startRefresh() {
  std::optional<RefreshRequest> request = BeginRefresh(model_);
  if (!request) return false;
  refresh_ = std::make_unique<RunningRefresh>(model_, std::move(*request));
  const uint64_t id = refresh_->id = ++refreshes_;
  // A selected machine's factors stay on display; they are read again at the end.
  if (selection_.selected()) refresh_->applier.ReleaseFactors();
  rows_.refreshStarted();
  emit activityChanged();
  emit refreshStarted(static_cast<int>(model_.Machines.size()));

  runner_.run([this, id, request = refresh_->request,
               fetcher = fetcher_](const BackgroundRunner::Job& job) {
    RefreshOptions options;
    options.stop = job.stopToken();
    options.progress = [this, &job](size_t read, size_t machines) {
      job.post([this, read, machines] {
        emit refreshProgress(static_cast<int>(read), static_cast<int>(machines));
      });
    };
    ReadMachineFiles(request->Machines, *fetcher, options, [&](size_t index, MachineFiles files) {
      auto shared = std::make_shared<MachineFiles>(std::move(files));
      job.post([this, id, index, shared] {
        deliver([this, id, index, shared] { applyMachine(id, index, std::move(*shared)); });
      });
    });
    job.post([this, id] { deliver([this, id] { endRefresh(id); }); });
  });
  return true;
}

void FarmSession::applyMachine(uint64_t id, size_t index, MachineFiles files) {
  if (!refresh_ || refresh_->id != id || refresh_->applier.Stale()) return;
  const bool factorsGrew = refresh_->applier.Apply(index, std::move(files));
  rows_.machineRead(index);
  emit machineChanged(static_cast<int>(index));
  if (factorsGrew) emit factorsChanged();
}

void FarmSession::endRefresh(uint64_t id) {
  if (!refresh_ || refresh_->id != id) return;
  const bool stale = refresh_->applier.Stale();
  // A refresh that kept the factors on display showed every machine's.
  if (refresh_->applier.OwnsFactors()) selection_.showAll();
  refresh_->applier.Finish();
  refresh_.reset();
  emit activityChanged();
  emit refreshed();
  selection_.read();
  // The table was replaced while its old machines were read: read the new.
  if (stale) refresh();
}

void FarmSession::selectMachine(int row) {
  if (row < 0 || static_cast<size_t>(row) >= model_.Machines.size()) return;
  selection_.select(static_cast<size_t>(row));
  if (refresh_) refresh_->applier.ReleaseFactors();
  selection_.read();
}

void FarmSession::selectAllMachines() {
  if (!selection_.selected()) return;
  selection_.drop();
  refresh();
}

std::optional<int> FarmSession::selectedMachine() const {
  if (const std::optional<size_t> index = selection_.selected()) return static_cast<int>(*index);
  return std::nullopt;
}

QString FarmSession::newFactorsScope() const {
  const QString factors = NewFactorsCount(model_.NewFactorCount);
  // One machine's factors are all the farm's when it is the only one.
  const std::optional<size_t> machine =
      model_.Machines.size() == 1 ? std::optional<size_t>(0) : selection_.shownMachine();
  if (machine) return Text(model_.Machines[*machine].Name) + ": " + factors;
  return QString("All %1 machines: %2").arg(model_.Machines.size()).arg(factors);
}

Status FarmSession::markNewFactorsAsOld() {
  const bool current = !settingsChangedOnDisk();
  const Result<MarkNotes> marked = MarkNewFactorsAsOld(model_, settingsPath_);
  if (marked) marksWritten(current);
  emit factorsChanged();
  if (!marked) return marked.error();
  for (const std::string& note : marked.value()) emit problem(Text(note));
  return Ok();
}

std::optional<SubmitMessage> FarmSession::submit(bool manual) {
  // Only the timer can ask while a dialog is open: its submission waits.
  if (editing() && !manual) {
    submitWanted_ = true;
    return std::nullopt;
  }
  return submission_.start(manual);
}

std::optional<SubmitMessage> FarmSession::outcomeMessage() const {
  return submission_.outcomeMessage();
}

void FarmSession::finishSubmission(bool agreed) { submission_.finish(agreed); }

Status FarmSession::replaceFarm(Settings options, MachineTable machines) {
  putFarm(std::move(options), std::move(machines));
  tableReplaced_ = true;
  return saveSettings();
}

void FarmSession::putFarm(Settings options, MachineTable machines) {
  // The selected machine stays selected while the new table holds it.
  const std::optional<size_t> kept = selection_.placeIn(machines);
  model_.Options = std::move(options);
  ReplaceMachines(model_, std::move(machines));
  model_.NewFactorsText.clear();
  model_.AllFactorsText.clear();
  model_.NewFactorCount = 0;
  selection_.tableReplaced(kept);
  emit tableReplaced();
  emit factorsChanged();
  emit chartChanged();
}

void FarmSession::readQueues(std::function<void(std::vector<QueueReading>)> done) {
  runner_.run([this, table = model_.TableRevision, paths = StatusPaths(model_.Machines),
               done = std::move(done)](const BackgroundRunner::Job& job) {
    auto readings = std::make_shared<std::vector<QueueReading>>(ReadQueues(paths));
    job.post([this, table, readings, done] {
      if (table == model_.TableRevision) done(std::move(*readings));
    });
  });
}

void FarmSession::writeQueues(std::vector<QueueEdit> edits,
                              std::function<void(QueueWriteOutcome)> done) {
  runner_.run([this, table = model_.TableRevision, paths = StatusPaths(model_.Machines),
               intent = QueueIntentPath(settingsPath_), edits = std::move(edits),
               done = std::move(done)](const BackgroundRunner::Job& job) {
    auto outcome = std::make_shared<QueueWriteOutcome>();
    const EditTargets targets(paths, edits);
    const auto merged = WriteEditedQueues(intent, targets.files);
    if (!merged) outcome->Failure = Text(merged.error().message);
    for (size_t k = 0; merged && k < merged.value().size(); ++k)
      for (const Range& range : merged.value()[k].LeftOut)
        outcome->LeftOut.emplace_back(targets.machines[k], range);
    auto readings = std::make_shared<std::vector<QueueReading>>(ReadQueues(paths));
    for (const QueueReading& reading : *readings) outcome->Queues.push_back(reading.Ranges);
    job.post([this, table, outcome, readings, done] {
      queuesWritten(table, *readings);
      done(std::move(*outcome));
    });
  });
}

void FarmSession::queuesWritten(uint64_t table, const std::vector<QueueReading>& readings) {
  if (table != model_.TableRevision) return;
  for (size_t i = 0; i < readings.size(); ++i) {
    Machine& machine = model_.Machines[i];
    machine.QueuedRanges = readings[i].Ranges;
    machine.QueueError = readings[i].Error.toStdString();
    ++machine.QueueRevision;
    emit machineChanged(static_cast<int>(i));
  }
}

void FarmSession::finishQueueWrites() {
  runner_.run([this, intent = QueueIntentPath(settingsPath_)](const BackgroundRunner::Job& job) {
    const Status finished = FinishQueueWrites(intent);
    if (finished) return;
    job.post([this, text = kUnfinishedQueueWrite + Text(finished.error().message)] {
      emit problem(text);
    });
  });
}

bool FarmSession::waitingFor(size_t row) const { return refresh_ && !refresh_->applier.Read(row); }

int64_t FarmSession::refreshElapsed() const { return refresh_->started.elapsed(); }

MachineListRow FarmSession::machineRow(int row) const {
  return rows_.row(static_cast<size_t>(row));
}

std::vector<MachineListRow> FarmSession::machineRows() const { return rows_.rows(); }

QString FarmSession::newFactorsText() const { return Text(model_.NewFactorsText.joined()); }

std::optional<QUrl> FarmSession::copyNewUrl() const {
  if (!model_.Options.LaunchCopyNewURL) return std::nullopt;
  return QUrl(Text(model_.Options.CopyNewURL));
}

FarmSession::EditLock::EditLock(FarmSession& session) : session_(session) { ++session_.editLocks_; }

FarmSession::EditLock::~EditLock() {
  if (--session_.editLocks_ == 0) session_.unlocked();
}

void FarmSession::deliver(std::function<void()> apply) {
  if (editing())
    held_.push_back(std::move(apply));
  else
    apply();
}

void FarmSession::unlocked() {
  std::vector<std::function<void()>> held = std::move(held_);
  held_.clear();
  for (const std::function<void()>& apply : held) apply();
  if (std::exchange(refreshWanted_, false) && !refresh()) emit refreshDropped();
  if (std::exchange(submitWanted_, false)) submit(false);
}

std::vector<MachineHealth> FarmSession::farmHealth(int64_t now) const {
  return FarmHealth(model_, now);
}

MachineHealth FarmSession::machineHealth(int row, int64_t now) const {
  return HealthOf(model_.Machines[static_cast<size_t>(row)], model_.Options, now);
}

QString FarmSession::summaryText(int64_t now) const {
  return QString::fromStdString(SummaryText(SummarizeFarm(model_, now)));
}

std::vector<std::string> FarmSession::takeNewWarnings(int64_t now) {
  return warnings_.NewWarnings(model_.Machines, farmHealth(now));
}

std::shared_ptr<const Fetcher> MakeNetworkFetcher() { return std::make_shared<CurlFetcher>(); }
