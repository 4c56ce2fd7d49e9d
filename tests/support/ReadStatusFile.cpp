#include "support/ReadStatusFile.h"

#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"
#include "ranges/QueueFile.h"

void ReadStatusFile(Model& model, size_t index, const Fetcher& fetcher) {
  Machine& machine = model.Machines[index];
  ApplyStatusReading(
      machine, ReadStatusReading(machine.StatusPath, model.Options.SpeedAvgIntervals, fetcher));
  ReadQueuedRanges(model, index);
  ReadFactorFile(model, index, false, fetcher);
}
