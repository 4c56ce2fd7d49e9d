#include "farm/Refresh.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>

#include "location/JobQueue.h"
#include "location/RunOnThreads.h"
#include "model/Files.h"
#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"
#include "ranges/QueueFile.h"

namespace {

// Clears RefreshBusy however the refresh ends.
class RefreshBusyGuard {
 public:
  explicit RefreshBusyGuard(Model& model) : model_(model) {}
  RefreshBusyGuard(const RefreshBusyGuard&) = delete;
  RefreshBusyGuard& operator=(const RefreshBusyGuard&) = delete;
  ~RefreshBusyGuard() { model_.RefreshBusy = false; }

 private:
  Model& model_;
};

// The files a refresh reads of each machine.
enum class MachineFile { Status, Queue, Factors };
constexpr std::array kMachineFiles{MachineFile::Status, MachineFile::Queue, MachineFile::Factors};

// One machine's files while they are being read, each on its own so that a
// host that does not answer costs one timeout, not one per file. Whichever
// file arrives last scans the factor file for the range the status file
// gives.
class MachineBeingRead {
 public:
  // Reads one of the files; true when it was the last.
  bool Read(const MachineLocations& machine, MachineFile file, const Fetcher& fetcher) {
    switch (file) {
      case MachineFile::Status:
        status_ = ReadStatusReading(machine.Status, machine.SpeedAvgIntervals, fetcher);
        break;
      case MachineFile::Queue:
        queue_ = machine.Queue ? ReadWholeFile(*machine.Queue) : std::string();
        break;
      case MachineFile::Factors:
        factors_ = FactorSource::Open(machine.Factors, fetcher);
        break;
    }
    // The decrement orders the other threads' writes before the last one.
    return --unread_ == 0;
  }

  MachineFiles Finish(const MachineLocations& machine) {
    const StatusReading range = *status_ ? status_->value() : StatusReading{};
    return {std::move(*status_), std::move(*queue_),
            ScanFactorFileAhead(std::move(*factors_), machine.LastOldFactor, range.RangeStart,
                                range.Pmax)};
  }

 private:
  std::optional<Result<StatusReading>> status_;
  std::optional<Result<std::string>> queue_;
  std::optional<Result<FactorSource>> factors_;
  std::atomic<size_t> unread_{kMachineFiles.size()};
};

// Hands over an answer fetched in a batch, so that a file fetched there is
// read as if fetched when it is read. Good for one fetch.
class FetchedAnswer : public Fetcher {
 public:
  explicit FetchedAnswer(LocationText answer) : answer_(std::move(answer)) {}
  LocationText FetchUrl(const std::string&) const override { return std::move(answer_); }

 private:
  mutable LocationText answer_;
};

struct FileOfMachine {
  size_t machine;
  MachineFile file;
};

// The URL of a machine's file when it is fetched over http; the queue file
// never is.
const std::string* HttpLocation(const MachineLocations& machine, MachineFile file) {
  if (file == MachineFile::Queue) return nullptr;
  const std::string& location = file == MachineFile::Status ? machine.Status : machine.Factors;
  return IsHttpLocation(location) ? &location : nullptr;
}

// A machine's factor counts belong to its row and are shown at once; its
// new factors wait for the machines before it.
void ApplyFactorCounts(Machine& machine, const Result<FactorScan>& scan) {
  machine.TotalFactors = scan ? scan.value().reading.TotalFactors : 0;
  machine.RangeFactors = scan ? scan.value().reading.RangeFactors : 0;
  machine.NewFactors = scan ? scan.value().reading.NewCount : 0;
  machine.FactorError = scan ? std::string() : scan.error().message;
}

// A position read anew, or read for the first time, starts a stillness of
// the machine; an unread status file tells nothing of it.
void NotePosition(Machine& machine, const Result<StatusReading>& status, int64_t now) {
  if (!status) return;
  if (machine.PositionSince != 0 && machine.PositionSeen == status.value().CurrentP) return;
  machine.PositionSeen = status.value().CurrentP;
  machine.PositionSince = now;
}

void ClearFactorsOnDisplay(Model& model) {
  model.Marks.clear();
  model.AllFactorsText.clear();
  model.NewFactorsText.clear();
  model.NewFactorCount = 0;
}

}  // namespace

int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::optional<RefreshRequest> BeginRefresh(Model& model, const UnixClock& clock) {
  if (model.RefreshBusy || model.SubmitBusy) return std::nullopt;
  model.RefreshBusy = true;
  RefreshRequest request{model.TableRevision, {}, clock()};
  request.Machines.reserve(model.Machines.size());
  for (const Machine& machine : model.Machines) {
    request.Machines.push_back({machine.StatusPath, RangeFilePath(machine.StatusPath),
                                machine.FactorPath, machine.LastOldFactor,
                                model.Options.SpeedAvgIntervals, machine.QueueRevision});
  }
  return request;
}

void ReadMachineFiles(const std::vector<MachineLocations>& locations, const Fetcher& fetcher,
                      const RefreshOptions& options, const MachineReadCallback& machineRead) {
  std::vector<MachineBeingRead> machines(locations.size());
  std::atomic<size_t> machinesRead{0};
  const auto read = [&](FileOfMachine file, const Fetcher& from) {
    const size_t i = file.machine;
    if (!machines[i].Read(locations[i], file.file, from)) return;
    machineRead(i, machines[i].Finish(locations[i]));
    if (options.progress) options.progress(++machinesRead, locations.size());
  };

  std::vector<FileOfMachine> fetched, local;
  std::vector<std::string> urls;
  for (size_t i = 0; i < locations.size(); ++i) {
    for (const MachineFile file : kMachineFiles) {
      if (const std::string* url = HttpLocation(locations[i], file)) {
        fetched.push_back({i, file});
        urls.push_back(*url);
      } else {
        local.push_back({i, file});
      }
    }
  }
  // One thread fetches every http file in one batch and hands each body
  // to the others as it comes in, so that parsing it holds up no transfer;
  // they read the local files meanwhile.
  JobQueue jobs;
  jobs.Push([&] {
    fetcher.FetchAll(
        urls,
        [&](size_t k, LocationText answer) {
          jobs.Push([&read, file = fetched[k], answer = std::move(answer)]() mutable {
            read(file, FetchedAnswer(std::move(answer)));
          });
        },
        options.stop);
    jobs.Close();
  });
  for (const FileOfMachine& file : local)
    jobs.Push([&read, &fetcher, file] { read(file, fetcher); });
  const size_t files = fetched.size() + local.size();
  RunOnThreads(std::clamp<size_t>(options.parallel, 1, 1 + files), [&] {
    while (std::optional<JobQueue::Job> job = jobs.Pop()) (*job)();
  });
}

std::vector<MachineFiles> FetchMachineFiles(const std::vector<MachineLocations>& locations,
                                            const Fetcher& fetcher, const RefreshOptions& options) {
  // Each machine's slot is written by one reading thread only.
  std::vector<std::optional<MachineFiles>> read(locations.size());
  ReadMachineFiles(locations, fetcher, options,
                   [&](size_t i, MachineFiles files) { read[i] = std::move(files); });
  std::vector<MachineFiles> files;
  files.reserve(locations.size());
  for (std::optional<MachineFiles>& machine : read) files.push_back(std::move(*machine));
  return files;
}

RefreshApplier::RefreshApplier(Model& model, const RefreshRequest& request)
    : model_(model),
      request_(request),
      factors_(request.Machines.size()),
      read_(request.Machines.size()) {}

bool RefreshApplier::Apply(size_t index, MachineFiles files) {
  if (Stale() || index >= read_.size() || read_[index]) return false;
  read_[index] = true;
  Machine& machine = model_.Machines[index];
  machine.ReadAt = request_.Now;
  ApplyStatusReading(machine, files.Status);
  NotePosition(machine, files.Status, request_.Now);
  if (machine.QueueRevision == request_.Machines[index].QueueRevision)
    ApplyQueueFile(machine, files.Queue);
  ApplyFactorCounts(machine, files.Factors);
  factors_[index] = std::move(files.Factors);
  const size_t before = prefix_;
  ApplyFactorsInOrder();
  return ownsFactors_ && prefix_ != before;
}

void RefreshApplier::ApplyFactorsInOrder() {
  // What was on display stays until the first machine replaces it.
  if (prefix_ == 0 && ownsFactors_ && !read_.empty() && read_[0]) ClearFactorsOnDisplay(model_);
  for (; prefix_ < read_.size() && read_[prefix_]; ++prefix_) {
    if (ownsFactors_) ApplyFactorScan(model_, prefix_, *factors_[prefix_]);
    factors_[prefix_].reset();  // the scan's copy of the file is no longer needed
  }
}

void RefreshApplier::Finish() { model_.RefreshBusy = false; }

bool FinishRefresh(Model& model, const RefreshRequest& request, std::vector<MachineFiles> files) {
  RefreshBusyGuard busy(model);
  if (model.TableRevision != request.TableRevision) return false;
  RefreshApplier applier(model, request);
  for (size_t i = 0; i < files.size(); ++i) applier.Apply(i, std::move(files[i]));
  return true;
}

bool RefreshAll(Model& model, const Fetcher& fetcher, const RefreshOptions& options,
                const UnixClock& clock) {
  auto request = BeginRefresh(model, clock);
  if (!request) return false;
  RefreshBusyGuard busy(model);
  FinishRefresh(model, *request, FetchMachineFiles(request->Machines, fetcher, options));
  return true;
}

void ShowMachineFactors(Model& model, size_t row, const Fetcher& fetcher) {
  if (row >= model.Machines.size()) return;
  ClearFactorsOnDisplay(model);
  ReadFactorFile(model, row, true, fetcher);
}

void ShowMachineFactorsFrom(Model& model, size_t row, const LocationText& factorFile) {
  if (row >= model.Machines.size()) return;
  ClearFactorsOnDisplay(model);
  ApplyFactorFile(model, row, factorFile, true);
}
