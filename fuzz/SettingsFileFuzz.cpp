// Any settings text loads within the limits, an untouched document writes
// back byte for byte, and what is saved loads back the same.
#include <algorithm>
#include <string>

#include "FuzzInput.h"
#include "model/IniDocument.h"
#include "model/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  FUZZ_CHECK(IniDocument(text).Text() == text);

  Model model;
  LoadSettingsText(text, model);
  // Each machine read lies below a section of the text: none are made up.
  FUZZ_CHECK(model.Machines.size() <=
             static_cast<size_t>(std::count(text.begin(), text.end(), '[')));
  FUZZ_CHECK(model.Options.SpeedAvgIntervals >= 1);
  FUZZ_CHECK(model.Options.AutoTimerInterval >= 1 &&
             model.Options.AutoTimerInterval <= kMaxAutoTimerInterval);
  FUZZ_CHECK(model.Options.StalledMinutes >= 1 &&
             model.Options.StalledMinutes <= kMaxStalledMinutes);
  FUZZ_CHECK(model.Options.DryHours >= 1 && model.Options.DryHours <= kMaxDryHours);
  const WindowLayout& window = model.Options.Window;
  for (const int32_t extent : {window.Width, window.Height})
    FUZZ_CHECK(extent >= 0 && extent <= kMaxWindowExtent);
  for (const std::vector<int32_t>* extents : {&window.SplitterSizes, &window.ColumnWidths})
    for (const int32_t extent : *extents) FUZZ_CHECK(extent >= 0 && extent <= kMaxWindowExtent);

  // A file with a problem is never saved over, so it need not round-trip.
  // Nor need a table of thousands of machines, which would make each run
  // a hundred times slower without taking any other path.
  if (SettingsTextProblem(text) || model.Machines.size() > 64) return 0;
  const std::string saved = SaveSettingsText(text, model);
  Model reloaded;
  LoadSettingsText(saved, reloaded);
  FUZZ_CHECK(reloaded.Options == model.Options);
  FUZZ_CHECK(reloaded.Machines.size() == model.Machines.size());
  for (size_t i = 0; i < model.Machines.size(); ++i) {
    const Machine &a = model.Machines[i], &b = reloaded.Machines[i];
    FUZZ_CHECK(a.Name == b.Name && a.FactorPath == b.FactorPath && a.StatusPath == b.StatusPath &&
               a.LastOldFactor == b.LastOldFactor);
  }
  // Saving what was saved changes nothing more.
  FUZZ_CHECK(SaveSettingsText(saved, reloaded) == saved);
  return 0;
}
