#include "cli/StatusJson.h"

#include <nlohmann/json.hpp>

#include "cli/JsonText.h"
#include "farm/Health.h"
#include "monitor/MachineRow.h"

namespace {

using Json = nlohmann::ordered_json;

Json ErrorJson(const std::string& error) { return error.empty() ? Json() : Json(error); }

Json HealthJson(const MachineHealth& health) {
  return {{"state", HealthName(health.State)},
          {"detail", health.Detail},
          {"queueEmpty", health.QueueEmpty}};
}

Json SummaryJson(const FarmSummary& summary) {
  return {
      {"working", summary.Working},
      {"runningDry", summary.RunningDry},
      {"finished", summary.Finished},
      {"stalled", summary.Stalled},
      {"unreachable", summary.Unreachable},
      {"speed", summary.Speed},
      {"newFactors", summary.NewFactors},
      {"doneAt", summary.DoneAt ? Json(*summary.DoneAt) : Json()},
      {"text", SummaryText(summary)},
  };
}

Json MachineJson(const Machine& machine, const MachineHealth& health) {
  Json queue = Json::array();
  for (const Range& range : machine.QueuedRanges) queue.push_back({range.Pmin, range.Pmax});
  const MachineRow cells = MachineRowTexts(machine);
  return {
      {"name", machine.Name},
      {"cells", cells},
      {"totalFactors", machine.TotalFactors},
      {"rangeFactors", machine.RangeFactors},
      {"rangeStart", machine.RangeStart},
      {"pmax", machine.Pmax},
      {"currentP", machine.CurrentP},
      {"speed", machine.Speed},
      {"done", machine.Done},
      {"queuedRanges", queue},
      {"errors",
       {{"status", ErrorJson(machine.StatusError)},
        {"factors", ErrorJson(machine.FactorError)},
        {"queue", ErrorJson(machine.QueueError)}}},
      {"health", HealthJson(health)},
  };
}

// Factor files and names may hold any bytes: never fail on bad UTF-8.
std::string Dumped(const Json& value) {
  const std::string text = value.dump(2, ' ', false, Json::error_handler_t::replace);
  // One level deeper than the object it stands in; in one pass, as an
  // insertion per line would move the rest of a farm's text every time.
  std::string indented;
  indented.reserve(text.size() + text.size() / 4);
  for (const char c : text) {
    indented += c;
    if (c == '\n') indented += "  ";
  }
  return indented;
}

}  // namespace

// The panes may be gigabytes: they are written straight from the model.
void WriteStatusJson(const Model& model, int64_t now, std::ostream& out,
                     std::optional<int64_t> readAt) {
  const std::vector<MachineHealth> health = FarmHealth(model, now);
  Json machines = Json::array();
  for (size_t i = 0; i < model.Machines.size(); ++i)
    machines.push_back(MachineJson(model.Machines[i], health[i]));
  Json marks = Json::array();
  for (const NewFactorMark& mark : model.Marks)
    marks.push_back({{"machine", mark.MachineIndex}, {"factor", mark.Factor}});
  out << "{\n  \"machines\": " << Dumped(machines)
      << ",\n  \"newFactorCount\": " << model.NewFactorCount << ",\n  \"newFactors\": ";
  WriteJsonString(out, model.NewFactorsText);
  out << ",\n  \"allFactors\": ";
  WriteJsonString(out, model.AllFactorsText);
  out << ",\n  \"marks\": " << Dumped(marks)
      << ",\n  \"summary\": " << Dumped(SummaryJson(SummarizeFarm(model, now)));
  if (readAt) out << ",\n  \"readAt\": " << *readAt;
  out << "\n}\n";
}
