#include "cli/StatusCommand.h"

#include <algorithm>
#include <string_view>

#include "cli/StatusJson.h"
#include "farm/Health.h"
#include "model/TerminalText.h"
#include "monitor/MachineRow.h"

namespace {

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
    WriteStatusJson(model, now, out);
  else
    PrintText(model, request, now, out);
  ReportUnreadFiles(model, err);
}
