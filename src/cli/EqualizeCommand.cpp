#include "cli/EqualizeCommand.h"

#include <nlohmann/json.hpp>

#include "cli/RangesCommand.h"
#include "model/TerminalText.h"
#include "ranges/Equalize.h"
#include "ranges/QueueFile.h"

namespace {

using Json = nlohmann::ordered_json;

// A queue that was not read would be handed out as empty and its file
// overwritten: its ranges would be lost.
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

// Writes every machine's file, also when one fails: each file stands on
// its own, and the machines that can be reached should get their queues.
bool WriteEveryQueue(Model& model, std::ostream& err) {
  bool written = true;
  for (size_t i = 0; i < model.Machines.size(); ++i) {
    if (const Status status = WriteQueuedRanges(model, i); !status) {
      err << "quillstrand-cli: " << TerminalText(model.Machines[i].Name)
          << ": queued range file not written: " << TerminalText(status.error().message) << '\n';
      written = false;
    }
  }
  return written;
}

void PrintOutcome(const Model& model, const EqualizePlan& plan, const EqualizeResult& result,
                  bool json, std::ostream& out) {
  if (!json) {
    PrintQueues(model.Machines, out);
    out << '\n' << DoneMessage(result.Seconds) << '\n';
    return;
  }
  Json overlaps = Json::array();
  for (const Range& overlap : plan.Overlaps) overlaps.push_back({overlap.Pmin, overlap.Pmax});
  const Json outcome = {
      {"overlaps", overlaps},
      {"queues", QueuesJson(model.Machines)},
      {"seconds", result.Seconds},
      {"message", DoneMessage(result.Seconds)},
  };
  out << outcome.dump(2) << '\n';
}

}  // namespace

int RunEqualize(Model& model, const Fetcher& fetcher, const EqualizeRequest& request,
                const RefreshOptions& options, std::ostream& out, std::ostream& err) {
  RefreshAll(model, fetcher, options);
  if (!EveryQueueRead(model, err)) return 1;
  const std::vector<EqualizeMachine> machines = EqualizeMachines(model.Machines);
  const EqualizePlan plan = PlanEqualize(machines);
  if (!GoOn(plan, request.yes, err)) return 1;
  const EqualizeResult result = DistributeEqualize(machines, plan);
  ApplyEqualize(model.Machines, result);
  PrintOutcome(model, plan, result, request.json, out);
  return request.dryRun || WriteEveryQueue(model, err) ? 0 : 1;
}
