#include "cli/EqualizeCommand.h"

#include <nlohmann/json.hpp>

#include "cli/RangesCommand.h"
#include "farm/EqualizeLeftOut.h"
#include "model/TerminalText.h"
#include "ranges/Equalize.h"
#include "ranges/QueueFile.h"

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
                const RefreshOptions& options, std::ostream& out, std::ostream& err) {
  RefreshAll(model, fetcher, options);
  if (!EveryQueueRead(model, err)) return 1;
  const std::vector<EqualizeMachine> machines =
      EqualizeMachines(model.Machines, EqualizeLeftOut(model.Machines, model.Options));
  const EqualizePlan plan = PlanEqualize(machines);
  TellLeftOut(model, machines, err);
  if (!GoOn(plan, request.yes, err)) return 1;
  const EqualizeResult result = DistributeEqualize(machines, plan);
  ApplyEqualize(model.Machines, result);
  PrintOutcome(model, machines, plan, result, request.json, out);
  return request.dryRun || WriteEveryQueue(model, err) ? 0 : 1;
}
