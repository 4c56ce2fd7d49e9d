#include <optional>
#include <string>
#include <utility>

#include "model/Constants.h"
#include "model/Numbers.h"
#include "monitor/CellTexts.h"
#include "session/FarmSession.h"

namespace {

std::string StatusReport(const Result<StatusReading>& status) {
  if (!status) return "Status file: not read (" + status.error().message + ")";
  const StatusReading& reading = status.value();
  // Any text reads as a status file without a range: most likely the box
  // names another file.
  if (reading.Pmax == 0)
    return std::string("Status file: read, but it names no range; is it a ") + kStatusFileName +
           "?";
  Machine machine;
  ApplyStatusReading(machine, status);
  const std::string position = reading.Done ? std::string("done")
                                            : "at " + DecimalText(reading.CurrentP) + " (" +
                                                  PercentDoneText(machine) + "% done)";
  return "Status file: range " + DecimalText(reading.RangeStart) + "-" + DecimalText(reading.Pmax) +
         ", " + position + ", " + SpeedText(machine);
}

std::string FactorReport(const Result<FactorScan>& factors) {
  if (!factors) return "Factor file: not read (" + factors.error().message + ")";
  const FactorReading& reading = factors.value().reading;
  if (reading.TotalFactors == 0) return "Factor file: no factor lines yet";
  return "Factor file: " + std::to_string(reading.TotalFactors) +
         (reading.TotalFactors == 1 ? " factor line, " : " factor lines, ") +
         std::to_string(reading.NewCount) + " of them new after the last submitted factor";
}

}  // namespace

void FarmSession::testMachine(MachineTest test, std::stop_source stop,
                              std::function<void(const QString&)> told) {
  const MachineLocations locations{std::move(test.statusPath), std::nullopt,
                                   std::move(test.factorPath), test.lastOldFactor,
                                   model_.Options.SpeedAvgIntervals};
  runner_.run(
      [locations, told = std::move(told), fetcher = fetcher_](const BackgroundRunner::Job& job) {
        RefreshOptions options;
        options.stop = job.stopToken();
        const MachineFiles files =
            std::move(FetchMachineFiles({locations}, *fetcher, options).front());
        job.post(
            [told, text = QString::fromStdString(StatusReport(files.Status) + "\n" +
                                                 FactorReport(files.Factors))] { told(text); });
      },
      std::move(stop));
}
