#include "monitor/MachineRow.h"

#include "model/Numbers.h"
#include "monitor/CellTexts.h"

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
