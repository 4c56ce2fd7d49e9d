#include "monitor/MachineRow.h"

#include "model/Numbers.h"
#include "monitor/CellTexts.h"

std::vector<std::string> UnreadFiles(const Machine& machine) {
  std::vector<std::string> lines;
  for (const auto& [file, reason] : {std::pair{"status file", &machine.StatusError},
                                     std::pair{"queued range file", &machine.QueueError},
                                     std::pair{"factor file", &machine.FactorError}}) {
    if (!reason->empty()) lines.push_back(std::string(file) + ": " + *reason);
  }
  return lines;
}

MachineRow MachineRowTexts(const Machine& machine) {
  return {
      machine.Name,
      DecimalText(static_cast<uint32_t>(machine.TotalFactors)),
      DecimalText(machine.RangeStart),
      DecimalText(machine.Pmax),
      machine.Done ? "Done" : DecimalText(machine.CurrentP),
      PercentDoneText(machine),
      SpeedText(machine),
      FormatEta(machine),
      DecimalText(static_cast<uint32_t>(machine.RangeFactors)),
      DensityText(machine),
      NextRangeText(machine),
  };
}
