#include "monitor/Refresh.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

#include "model/Files.h"
#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"
#include "ranges/QueueFile.h"

namespace {

constexpr size_t kFilesPerMachine = 3;

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

// Reads file `file` (status, queue, factors) of one machine.
Result<std::string> ReadMachineFile(const MachineLocations& machine, size_t file,
                                    const Fetcher& fetcher) {
  switch (file) {
    case 0:
      return OpenLocation(machine.Status, fetcher);
    case 1:
      return machine.Queue ? ReadWholeFile(*machine.Queue) : std::string();
    default:
      return OpenLocation(machine.Factors, fetcher);
  }
}

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
  ApplyStatusFile(machine, files.Status, model.Options.SpeedAvgIntervals);
  ApplyQueueFile(machine, files.Queue);
  ApplyFactorFile(model, index, files.Factors, false);
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
  for (const Machine& machine : model.Machines)
    locations.push_back(
        {machine.StatusPath, RangeFilePath(machine.StatusPath), machine.FactorPath});
  return locations;
}

std::vector<MachineFiles> FetchMachineFiles(const std::vector<MachineLocations>& locations,
                                            const Fetcher& fetcher, const RefreshOptions& options) {
  const size_t jobs = locations.size() * kFilesPerMachine;
  std::vector<std::optional<Result<std::string>>> read(jobs);
  // Files still to read per machine, so that progress counts whole machines.
  std::vector<std::atomic<size_t>> unread(locations.size());
  for (auto& count : unread) count = kFilesPerMachine;
  std::atomic<size_t> next{0};
  std::atomic<size_t> machinesRead{0};

  RunOnThreads(std::clamp<size_t>(options.parallel, 1, std::max<size_t>(jobs, 1)), [&] {
    for (size_t job; (job = next++) < jobs;) {
      const size_t machine = job / kFilesPerMachine;
      read[job] = ReadMachineFile(locations[machine], job % kFilesPerMachine, fetcher);
      if (--unread[machine] == 0 && options.progress)
        options.progress(++machinesRead, locations.size());
    }
  });

  std::vector<MachineFiles> files;
  files.reserve(locations.size());
  for (size_t job = 0; job < jobs; job += kFilesPerMachine)
    files.push_back({std::move(*read[job]), std::move(*read[job + 1]), std::move(*read[job + 2])});
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
  ShowMachineFactorsFrom(model, row, OpenLocation(model.Machines[row].FactorPath, fetcher));
}

void ShowMachineFactorsFrom(Model& model, size_t row, const LocationText& factorFile) {
  if (row >= model.Machines.size()) return;
  ClearFactorsOnDisplay(model);
  ApplyFactorFile(model, row, factorFile, true);
}
