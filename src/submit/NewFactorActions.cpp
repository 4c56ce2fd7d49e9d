#include "submit/NewFactorActions.h"

#include "model/SettingsFile.h"

Status MarkNewFactorsAsOld(Model& model, const std::string& settingsPath) {
  MoveLastOldFactors(model.Machines, model.Marks);
  model.Marks.clear();
  model.NewFactorsText.clear();
  model.NewFactorCount = 0;
  return SaveSettings(settingsPath, model);
}

void MoveLastOldFactors(MachineTable& machines, const NewFactorMarks& marks) {
  for (const NewFactorMark& mark : marks) {
    // A mark outlives a table rebuilt under it only by mistake; skip it then.
    if (mark.MachineIndex >= 0 && static_cast<size_t>(mark.MachineIndex) < machines.size())
      machines[static_cast<size_t>(mark.MachineIndex)].LastOldFactor = mark.Factor;
  }
}
