#include "cli/StatusCommand.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string_view>

#include "monitor/MachineRow.h"

namespace {

using Json = nlohmann::ordered_json;

std::string NewFactorsLabel(const Model& model) {
  return "New factors: " + std::to_string(model.NewFactorCount);
}

// A pane's text with the line ends of this platform.
std::string WithoutCarriageReturns(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  std::copy_if(text.begin(), text.end(), std::back_inserter(plain),
               [](char c) { return c != '\r'; });
  return plain;
}

void PrintMachineList(const Model& model, std::ostream& out) {
  std::vector<MachineRow> rows;
  MachineRow headers;
  std::array<size_t, kMachineColumnCount> widths{};
  for (size_t column = 0; column < kMachineColumnCount; ++column) {
    headers[column] = kMachineColumns[column].header;
    widths[column] = headers[column].size();
  }
  for (const Machine& machine : model.Machines) {
    rows.push_back(MachineRowTexts(machine));
    for (size_t column = 0; column < kMachineColumnCount; ++column)
      widths[column] = std::max(widths[column], rows.back()[column].size());
  }
  const auto print = [&](const MachineRow& row) {
    std::string line;
    for (size_t column = 0; column < kMachineColumnCount; ++column) {
      line += row[column];
      if (column + 1 < kMachineColumnCount)
        line.append(widths[column] - row[column].size() + 2, ' ');
    }
    out << line.substr(0, line.find_last_not_of(' ') + 1) << '\n';
  };
  print(headers);
  for (const MachineRow& row : rows) print(row);
}

void PrintText(const Model& model, const StatusRequest& request, std::ostream& out) {
  PrintMachineList(model, out);
  out << '\n';
  if (request.machine) out << "All factors:\n" << WithoutCarriageReturns(model.AllFactorsText);
  out << NewFactorsLabel(model) << '\n' << WithoutCarriageReturns(model.NewFactorsText);
}

Json ErrorJson(const std::string& error) { return error.empty() ? Json() : Json(error); }

Json MachineJson(const Machine& machine) {
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
  };
}

void PrintJson(const Model& model, std::ostream& out) {
  Json machines = Json::array();
  for (const Machine& machine : model.Machines) machines.push_back(MachineJson(machine));
  Json marks = Json::array();
  for (const NewFactorMark& mark : model.Marks)
    marks.push_back({{"machine", mark.MachineIndex}, {"factor", mark.Factor}});
  const Json status = {
      {"machines", machines},
      {"newFactorCount", model.NewFactorCount},
      {"newFactors", model.NewFactorsText},
      {"allFactors", model.AllFactorsText},
      {"marks", marks},
  };
  // Factor files and names may hold any bytes: never fail on bad UTF-8.
  out << status.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

void ReportUnreadFiles(const Model& model, std::ostream& err) {
  for (const Machine& machine : model.Machines) {
    for (const std::string& line : UnreadFiles(machine))
      err << "quillstrand-cli: " << machine.Name << ": " << line << '\n';
  }
}

}  // namespace

void RunStatus(Model& model, const Fetcher& fetcher, const StatusRequest& request,
               const RefreshOptions& options, std::ostream& out, std::ostream& err) {
  RefreshAll(model, fetcher, options);
  if (request.machine) ShowMachineFactors(model, *request.machine, fetcher);
  if (request.json)
    PrintJson(model, out);
  else
    PrintText(model, request, out);
  ReportUnreadFiles(model, err);
}
