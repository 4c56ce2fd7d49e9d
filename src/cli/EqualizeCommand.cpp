#include "cli/EqualizeCommand.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/RangesCommand.h"
#include "farm/EqualizeLeftOut.h"
#include "model/Billions.h"
#include "model/TerminalText.h"
#include "ranges/Equalize.h"
#include "ranges/QueueFile.h"
#include "ranges/QueueWrites.h"

namespace {

using Json = nlohmann::ordered_json;

// A queue that was not read would be handed out as empty and its file
// overwritten: its ranges would be lost. Its machine is not merely left
// out, for the reason EqualizeLeftOut gives.
bool EveryQueueRead(const Model& model, std::ostream& err) {
  bool read = true;
  for (const Machine& machine : model.Machines) {
    if (machine.QueueError.empty()) continue;
    err << "quillstrand-cli: " << TerminalText(machine.Name)
        << ": queued range file: " << TerminalText(machine.QueueError) << '\n';
    read = false;
  }
  if (!read) err << "quillstrand-cli: nothing was equalized\n";
  return read;
}

// On stderr in either form, as the plan's findings are: they are for people.
void TellLeftOut(const Model& model, const std::vector<EqualizeMachine>& machines,
                 std::ostream& err) {
  for (const std::string& message : LeftOutMessages(model.Machines, machines))
    err << TerminalText(message) << '\n';
}

// Tells what the plan found; false when Equalize must stop there.
bool GoOn(const EqualizePlan& plan, bool yes, std::ostream& err) {
  if (!plan.SpeedKnown()) {
    err << kNoSpeedMessage << '\n';
    return false;
  }
  for (const std::string& message : AttentionMessages(plan))
    err << kAttentionCaption << ": " << TerminalText(message) << '\n';
  if (plan.Overlapped() && !yes) {
    err << kOverlapQuestion << '\n' << "quillstrand-cli: nothing was written; --yes fixes them\n";
    return false;
  }
  return true;
}

// Writes the queues Equalize changed as one change, each edit applied to
// its file as it is now, and puts what was written into the table. On
// failure nothing is written and the file and the reason are told.
bool WriteQueues(MachineTable& table, const MachineTable& asRead, const std::string& settingsPath,
                 std::ostream& err) {
  std::vector<QueueEditTarget> targets;
  std::vector<size_t> machines;
  for (size_t i = 0; i < table.size(); ++i) {
    const auto path = RangeFilePath(table[i].StatusPath);
    if (!path) continue;
    targets.push_back({*path, asRead[i].QueuedRanges, table[i].QueuedRanges});
    machines.push_back(i);
  }
  const auto written = WriteEditedQueues(QueueIntentPath(settingsPath), targets);
  if (!written) {
    err << "quillstrand-cli: " << TerminalText(written.error().message) << '\n';
    return false;
  }
  for (size_t k = 0; k < machines.size(); ++k) {
    Machine& machine = table[machines[k]];
    machine.QueuedRanges = written.value()[k].Queue;
    // A client that began a range Equalize gave away while it ran keeps
    // sieving it: queued elsewhere it would be sieved twice.
    for (const Range& range : written.value()[k].LeftOut)
      err << TerminalText(machine.Name) << " has begun " << BillionsText(range.Pmin) << "–"
          << BillionsText(range.Pmax) << " since it was read; it was left out.\n";
  }
  return true;
}

Json LeftOutJson(const Model& model, const std::vector<EqualizeMachine>& machines) {
  Json leftOut = Json::array();
  for (size_t i = 0; i < machines.size(); ++i)
    if (!machines[i].LeftOut.empty())
      leftOut.push_back({{"machine", model.Machines[i].Name}, {"reason", machines[i].LeftOut}});
  return leftOut;
}

void PrintOutcome(const Model& model, const std::vector<EqualizeMachine>& machines,
                  const EqualizePlan& plan, const EqualizeResult& result, bool json,
                  std::ostream& out) {
  if (!json) {
    PrintQueues(model.Machines, out);
    out << '\n' << DoneMessage(result.Seconds) << '\n';
    return;
  }
  Json overlaps = Json::array();
  for (const Range& overlap : plan.Overlaps) overlaps.push_back({overlap.Pmin, overlap.Pmax});
  const Json outcome = {
      {"overlaps", overlaps},
      {"leftOut", LeftOutJson(model, machines)},
      {"queues", QueuesJson(model.Machines)},
      {"seconds", result.Seconds},
      {"message", DoneMessage(result.Seconds)},
  };
  // Names and reasons come from settings and file systems: bad UTF-8 is replaced.
  out << outcome.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace

int RunEqualize(Model& model, const Fetcher& fetcher, const EqualizeRequest& request,
                const std::string& settingsPath, const RefreshOptions& options, std::ostream& out,
                std::ostream& err) {
  RefreshAll(model, fetcher, options);
  if (!EveryQueueRead(model, err)) return 1;
  const std::vector<EqualizeMachine> machines =
      EqualizeMachines(model.Machines, EqualizeLeftOut(model.Machines, model.Options));
  const EqualizePlan plan = PlanEqualize(machines);
  TellLeftOut(model, machines, err);
  if (!GoOn(plan, request.yes, err)) return 1;
  const EqualizeResult result = DistributeEqualize(machines, plan);
  const MachineTable asRead = model.Machines;
  ApplyEqualize(model.Machines, result);
  if (!request.dryRun && !WriteQueues(model.Machines, asRead, settingsPath, err)) return 1;
  PrintOutcome(model, machines, plan, result, request.json, out);
  return 0;
}
