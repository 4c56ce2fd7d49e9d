#pragma once

#include <cstddef>
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
};

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
// runs; otherwise it sets RefreshBusy and gives the files to read.
std::optional<std::vector<MachineLocations>> BeginRefresh(Model& model);

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

// Applies what was read, machine by machine in table order, as a refresh
// that read one machine at a time would, then clears RefreshBusy.
void FinishRefresh(Model& model, std::vector<MachineFiles> files);

// The three steps in one; false when refused.
bool RefreshAll(Model& model, const Fetcher& fetcher, const RefreshOptions& options = {});

// Narrows both panes, the count and the marks to the machine at `row`, from
// its factor file read anew. ShowMachineFactorsFrom does the same with a
// file already read.
void ShowMachineFactors(Model& model, size_t row, const Fetcher& fetcher);
void ShowMachineFactorsFrom(Model& model, size_t row, const LocationText& factorFile);
