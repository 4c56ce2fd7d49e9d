#include "cli/MarkOldCommand.h"

#include "farm/Refresh.h"
#include "model/TerminalText.h"
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
  const Result<MarkNotes> marked = MarkNewFactorsAsOld(model, settingsPath);
  if (!marked) {
    err << "quillstrand-cli: cannot save settings file " << TerminalText(marked.error().message)
        << '\n';
    return 1;
  }
  for (const std::string& note : marked.value())
    err << "quillstrand-cli: " << TerminalText(note) << '\n';
  out << "Marked " << count << " new factors as old.\n";
  return 0;
}
