#include "cli/MarkOldCommand.h"

#include "farm/Refresh.h"
#include "submit/NewFactorActions.h"

int RunMarkOld(Model& model, const Fetcher& fetcher, std::optional<size_t> machine,
               const std::string& settingsPath, std::ostream& out, std::ostream& err) {
  RefreshAll(model, fetcher);
  if (machine) ShowMachineFactors(model, *machine, fetcher);
  if (model.Marks.empty()) {
    out << "There are no new factors.\n";
    return 0;
  }
  const int32_t count = model.NewFactorCount;
  if (const Status saved = MarkNewFactorsAsOld(model, settingsPath); !saved) {
    err << "quillstrand-cli: cannot save settings file " << saved.error().message << '\n';
    return 1;
  }
  out << "Marked " << count << " new factors as old.\n";
  return 0;
}
