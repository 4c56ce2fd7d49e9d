#include "cli/StatusCommand.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string_view>

#include "cli/JsonText.h"
#include "farm/Health.h"
#include "model/TerminalText.h"
#include "monitor/MachineRow.h"

namespace {

using Json = nlohmann::ordered_json;

std::string NewFactorsLabel(const Model& model) {
  return "New factors: " + std::to_string(model.NewFactorCount);
}

void PrintMachineList(const Model& model, std::ostream& out) {
  const DisplayWidth width;
  std::vector<MachineRow> rows;
  MachineRow headers;
  std::array<size_t, kMachineColumnCount> widths{};
  for (size_t column = 0; column < kMachineColumnCount; ++column) {
    headers[column] = kMachineColumns[column].header;
    widths[column] = width(headers[column]);
  }
  for (const Machine& machine : model.Machines) {
    MachineRow& row = rows.emplace_back(MachineRowTexts(machine));
    for (size_t column = 0; column < kMachineColumnCount; ++column) {
      row[column] = TerminalText(row[column]);
      widths[column] = std::max(widths[column], width(row[column]));
    }
  }
  const auto print = [&](const MachineRow& row) {
    std::string line;
    for (size_t column = 0; column < kMachineColumnCount; ++column) {
      line += row[column];
      if (column + 1 < kMachineColumnCount)
        line.append(widths[column] - width(row[column]) + 2, ' ');
    }
    out << line.substr(0, line.find_last_not_of(' ') + 1) << '\n';
  };
  print(headers);
  for (const MachineRow& row : rows) print(row);
}

void PrintText(const Model& model, const StatusRequest& request, int64_t now, std::ostream& out) {
  PrintMachineList(model, out);
  out << "Farm: " << SummaryText(SummarizeFarm(model, now)) << "\n\n";
  if (request.machine) {
    out << "All factors:\n";
    WriteTerminalLines(out, model.AllFactorsText);
  }
  out << NewFactorsLabel(model) << '\n';
  WriteTerminalLines(out, model.NewFactorsText);
}

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
  std::string text = value.dump(2, ' ', false, Json::error_handler_t::replace);
  // One level deeper than the object it stands in.
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 3))
    text.insert(at + 1, "  ");
  return text;
}

// The panes may be gigabytes: they are written straight from the model.
void PrintJson(const Model& model, int64_t now, std::ostream& out) {
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
      << ",\n  \"summary\": " << Dumped(SummaryJson(SummarizeFarm(model, now))) << "\n}\n";
}

void ReportUnreadFiles(const Model& model, std::ostream& err) {
  for (const Machine& machine : model.Machines) {
    for (const std::string& line : UnreadFiles(machine))
      err << "quillstrand-cli: " << TerminalText(machine.Name) << ": " << TerminalText(line)
          << '\n';
  }
}

// A machine shown alone has its factor file read once, for its panes: the
// refresh would read it only for the selection to replace what it gave.
void Refresh(Model& model, const Fetcher& fetcher, std::optional<size_t> alone,
             const RefreshOptions& options) {
  std::optional<RefreshRequest> request = BeginRefresh(model);
  if (!request) return;
  if (alone) request->Machines[*alone].Factors.clear();
  FinishRefresh(model, *request, FetchMachineFiles(request->Machines, fetcher, options));
  if (alone) ShowMachineFactors(model, *alone, fetcher);
}

}  // namespace

void RunStatus(Model& model, const Fetcher& fetcher, const StatusRequest& request,
               const RefreshOptions& options, std::ostream& out, std::ostream& err) {
  Refresh(model, fetcher, request.machine, options);
  const int64_t now = UnixNow();
  if (request.json)
    PrintJson(model, now, out);
  else
    PrintText(model, request, now, out);
  ReportUnreadFiles(model, err);
}
