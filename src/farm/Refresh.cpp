#include "farm/Refresh.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

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

// One machine's files while they are being read, each on its own so that a
// host that does not answer costs one timeout, not one per file. Whichever
// file arrives last scans the factor file for the range the status file
// gives.
class MachineBeingRead {
 public:
  static constexpr size_t kFiles = 3;

  // Reads file `file` (status, queue, factors); true when it was the last.
  bool Read(const MachineLocations& machine, size_t file, const Fetcher& fetcher) {
    if (file == 0)
      status_ = ReadStatusReading(machine.Status, machine.SpeedAvgIntervals, fetcher);
    else if (file == 1)
      queue_ = machine.Queue ? ReadWholeFile(*machine.Queue) : std::string();
    else
      factors_ = FactorSource::Open(machine.Factors, fetcher);
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
  std::atomic<size_t> unread_{kFiles};
};

// Runs `work` on `threads` threads, the calling one among them; a thread
// that cannot be started leaves its share to the others.
template <typename Work>
void RunOnThreads(size_t threads, const Work& work) {
  std::vector<std::jthread> helpers;
  for (size_t i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
}

void ApplyMachineFiles(Model& model, size_t index, MachineFiles files) {
  Machine& machine = model.Machines[index];
  ApplyStatusReading(machine, files.Status);
  ApplyQueueFile(machine, files.Queue);
  ApplyFactorScan(model, index, files.Factors);
}

void ClearFactorsOnDisplay(Model& model) {
  model.Marks.clear();
  model.AllFactorsText.clear();
  model.NewFactorsText.clear();
  model.NewFactorCount = 0;
}

}  // namespace

std::optional<std::vector<MachineLocations>> BeginRefresh(Model& model) {
  if (model.RefreshBusy || model.SubmitBusy) return std::nullopt;
  model.RefreshBusy = true;
  std::vector<MachineLocations> locations;
  locations.reserve(model.Machines.size());
  for (const Machine& machine : model.Machines) {
    locations.push_back({machine.StatusPath, RangeFilePath(machine.StatusPath), machine.FactorPath,
                         machine.LastOldFactor, model.Options.SpeedAvgIntervals});
  }
  return locations;
}

void ReadMachineFiles(const std::vector<MachineLocations>& locations, const Fetcher& fetcher,
                      const RefreshOptions& options, const MachineReadCallback& machineRead) {
  const size_t jobs = locations.size() * MachineBeingRead::kFiles;
  std::vector<MachineBeingRead> machines(locations.size());
  std::atomic<size_t> next{0};
  std::atomic<size_t> machinesRead{0};
  RunOnThreads(std::clamp<size_t>(options.parallel, 1, std::max<size_t>(jobs, 1)), [&] {
    for (size_t job; (job = next++) < jobs;) {
      const size_t i = job / MachineBeingRead::kFiles;
      if (!machines[i].Read(locations[i], job % MachineBeingRead::kFiles, fetcher)) continue;
      machineRead(i, machines[i].Finish(locations[i]));
      if (options.progress) options.progress(++machinesRead, locations.size());
    }
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

void FinishRefresh(Model& model, std::vector<MachineFiles> files) {
  RefreshBusyGuard busy(model);
  ClearFactorsOnDisplay(model);
  const size_t machines = std::min(files.size(), model.Machines.size());
  for (size_t i = 0; i < machines; ++i) {
    ApplyMachineFiles(model, i, std::move(files[i]));
  }
}

bool RefreshAll(Model& model, const Fetcher& fetcher, const RefreshOptions& options) {
  auto locations = BeginRefresh(model);
  if (!locations) return false;
  RefreshBusyGuard busy(model);
  FinishRefresh(model, FetchMachineFiles(*locations, fetcher, options));
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
