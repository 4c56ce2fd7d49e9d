#include "cli/RangesCommand.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/Numbers.h"
#include "model/TerminalText.h"
#include "ranges/QueueFile.h"

namespace {

constexpr uint64_t kBillion = 1'000'000'000;

// The two columns of one queue, the first padded to its widest text.
void PrintQueue(const std::vector<Range>& queue, std::ostream& out) {
  std::vector<std::pair<std::string, std::string>> rows{{"pmin", "pmax"}};
  for (const Range& range : queue)
    rows.emplace_back(DecimalText(range.Pmin / kBillion), DecimalText(range.Pmax / kBillion));
  size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());
  for (const auto& [pmin, pmax] : rows)
    out << pmin << std::string(width - pmin.size() + 2, ' ') << pmax << '\n';
}

}  // namespace

void PrintQueues(const MachineTable& table, std::ostream& out) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (i > 0) out << '\n';
    out << "Queued ranges for " << TerminalText(table[i].Name) << '\n';
    PrintQueue(table[i].QueuedRanges, out);
  }
}

nlohmann::ordered_json QueuesJson(const MachineTable& table) {
  nlohmann::ordered_json queues = nlohmann::ordered_json::array();
  for (const Machine& machine : table) {
    nlohmann::ordered_json queue = nlohmann::ordered_json::array();
    for (const Range& range : machine.QueuedRanges) queue.push_back({range.Pmin, range.Pmax});
    queues.push_back(std::move(queue));
  }
  return queues;
}

void RunRanges(Model& model, bool json, std::ostream& out, std::ostream& err) {
  for (size_t i = 0; i < model.Machines.size(); ++i) {
    ReadQueuedRanges(model, i);
    const Machine& machine = model.Machines[i];
    if (!machine.QueueError.empty())
      err << "quillstrand-cli: " << TerminalText(machine.Name)
          << ": queued range file: " << TerminalText(machine.QueueError) << '\n';
  }
  if (json)
    out << nlohmann::ordered_json{{"queues", QueuesJson(model.Machines)}}.dump(2) << '\n';
  else
    PrintQueues(model.Machines, out);
}
