#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "location/Fetcher.h"
#include "location/Location.h"
#include "model/Model.h"
#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"

// What a refresh reads of one machine, copied out of the table so that the
// files can be read on other threads while the table is in use.
struct MachineLocations {
  std::string Status;
  std::optional<std::string> Queue;  // none for an http status location
  std::string Factors;
  // What reading the files needs to know of the machine and the options.
  uint64_t LastOldFactor = 0;
  uint32_t SpeedAvgIntervals = 1;
  // The queue's revision when the refresh began.
  uint64_t QueueRevision = 0;
};

// Everything a refresh reads, and the table it reads it for.
struct RefreshRequest {
  uint64_t TableRevision = 0;
  std::vector<MachineLocations> Machines;
  // When the refresh began, in Unix seconds: a position first read by it
  // was first seen then.
  int64_t Now = 0;
};

// Gives the time in Unix seconds; tests pass one that stands still.
using UnixClock = std::function<int64_t()>;
int64_t UnixNow();

// What one refresh read of one machine's files. The status and factor
// files are parsed and scanned as soon as they are read, on the reading
// threads, so that little is left for the thread that applies them.
struct MachineFiles {
  Result<StatusReading> Status;
  Result<std::string> Queue;  // as ReadWholeFile gives it; empty text without a file
  Result<FactorScan> Factors;
};

struct RefreshOptions {
  // Threads that read local files and parse what was read, one of them
  // fetching the http files meanwhile, as many at once as the fetcher allows.
  size_t parallel = 64;
  // Called from the reading threads as machines are read: (read, of all).
  std::function<void(size_t, size_t)> progress;
  // Once a stop is asked for, the http files not in yet end as cancelled;
  // the local files, quick to read, are read all the same.
  std::stop_token stop{};
};

// A refresh runs in three steps, so that a window can read the files on
// another thread and apply them on its own:
//
// BeginRefresh refuses (gives nothing) while a refresh or a submission
// runs; otherwise it sets RefreshBusy and gives the files to read, and the
// time from `clock`.
std::optional<RefreshRequest> BeginRefresh(Model& model, const UnixClock& clock = UnixNow);

// Called from the reading threads with each machine's files as soon as all
// of them are in: (index of the machine in the locations, its files).
using MachineReadCallback = std::function<void(size_t, MachineFiles)>;

// Reads every file of every machine, each exactly once, handing each
// machine's files to `machineRead` as they complete.
// Touches no model: any thread may run it.
void ReadMachineFiles(const std::vector<MachineLocations>& locations, const Fetcher& fetcher,
                      const RefreshOptions& options, const MachineReadCallback& machineRead);

// The same, giving every machine's files in table order once all are in.
std::vector<MachineFiles> FetchMachineFiles(const std::vector<MachineLocations>& locations,
                                            const Fetcher& fetcher,
                                            const RefreshOptions& options = {});

// Applies what a refresh read as it arrives, in any order of machines, so
// that the table shows each machine as soon as its files are in. The rows
// of a machine change at once; the factors on display (the "New factors"
// pane, its count and the marks) stay until the first machine is in, and
// then follow the machines read so far in table order, so that they grow
// whenever that prefix does and end as a refresh that read one machine at a
// time would leave them.
//
// Whatever arrives for a table other than the one read is dropped whole,
// and a queue edited since the refresh began is left as edited.
class RefreshApplier {
 public:
  RefreshApplier(Model& model, const RefreshRequest& request);
  RefreshApplier(const RefreshApplier&) = delete;
  RefreshApplier& operator=(const RefreshApplier&) = delete;

  // Applies machine `index`'s files; true when the factors on display grew.
  bool Apply(size_t index, MachineFiles files);
  // From now on the factors on display belong to someone else (a selection
  // narrowed them); the rows are still applied.
  void ReleaseFactors() { ownsFactors_ = false; }
  bool OwnsFactors() const { return ownsFactors_; }

  bool Read(size_t index) const { return index < read_.size() && read_[index]; }
  // The machines in table order whose factors are on display.
  size_t Prefix() const { return prefix_; }
  bool Stale() const { return model_.TableRevision != request_.TableRevision; }

  // Clears RefreshBusy; what has not arrived by then is not applied.
  void Finish();

 private:
  void ApplyFactorsInOrder();

  Model& model_;
  const RefreshRequest& request_;
  std::vector<std::optional<Result<FactorScan>>> factors_;  // waiting for the prefix
  std::vector<bool> read_;
  size_t prefix_ = 0;
  bool ownsFactors_ = true;
};

// Applies every machine's files at once, as a refresh that read one machine
// at a time would, then clears RefreshBusy. False when the table is no
// longer the one read: nothing is applied then.
bool FinishRefresh(Model& model, const RefreshRequest& request, std::vector<MachineFiles> files);

// The three steps in one; false when refused.
bool RefreshAll(Model& model, const Fetcher& fetcher, const RefreshOptions& options = {},
                const UnixClock& clock = UnixNow);

// Narrows both panes, the count and the marks to the machine at `row`, from
// its factor file read anew. ShowMachineFactorsFrom does the same with a
// file already read.
void ShowMachineFactors(Model& model, size_t row, const Fetcher& fetcher);
void ShowMachineFactorsFrom(Model& model, size_t row, const LocationText& factorFile);
