#include "submit/NewFactorActions.h"

#include "model/SettingsFile.h"

Status MarkNewFactorsAsOld(Model& model, const std::string& settingsPath) {
  for (const NewFactorMark& mark : model.Marks) {
    // A mark outlives a table rebuilt under it only by mistake; skip it then.
    if (mark.MachineIndex >= 0 && static_cast<size_t>(mark.MachineIndex) < model.Machines.size())
      model.Machines[static_cast<size_t>(mark.MachineIndex)].LastOldFactor = mark.Factor;
  }
  model.Marks.clear();
  model.NewFactorsText.clear();
  model.NewFactorCount = 0;
  return SaveSettings(settingsPath, model);
}
