#include "cli/CheckCommand.h"

#include "farm/Refresh.h"
#include "model/TerminalText.h"

namespace {

// A finished machine with nothing queued idles until someone gives it work.
bool IsIdle(const MachineHealth& health) {
  return health.State == HealthState::Finished && health.QueueEmpty;
}

std::string Joined(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

std::string OkText(const std::vector<MachineHealth>& health) {
  if (health.empty()) return "OK: no machines";
  int working = 0, finished = 0;
  for (const MachineHealth& machine : health)
    ++(machine.State == HealthState::Finished ? finished : working);
  std::vector<std::string> counts;
  if (working > 0) counts.push_back(std::to_string(working) + " working");
  if (finished > 0) counts.push_back(std::to_string(finished) + " finished");
  return "OK: " + Joined(counts, ", ");
}

// "box3: stalled (no progress since 14:02)": the " | " between machines
// leaves "; " and ", " to the details.
std::string MachineText(const Machine& machine, const MachineHealth& health) {
  std::string text = machine.Name + ": " + HealthName(health.State);
  if (!health.Detail.empty()) text += " (" + health.Detail + ")";
  return TerminalText(text);
}

}  // namespace

CheckLine CheckFarm(const MachineTable& machines, const std::vector<MachineHealth>& health) {
  std::vector<std::string> unreachable, warnings;
  for (size_t i = 0; i < machines.size() && i < health.size(); ++i) {
    if (health[i].State == HealthState::Unreachable)
      unreachable.push_back(MachineText(machines[i], health[i]));
    else if (Warns(health[i].State) || IsIdle(health[i]))
      warnings.push_back(MachineText(machines[i], health[i]));
  }
  if (!unreachable.empty()) {
    unreachable.insert(unreachable.end(), warnings.begin(), warnings.end());
    return {kCheckCritical, "CRITICAL: " + Joined(unreachable, " | ")};
  }
  if (!warnings.empty()) return {kCheckWarning, "WARNING: " + Joined(warnings, " | ")};
  return {kCheckOk, OkText(health)};
}

int RunCheck(Model& model, const Fetcher& fetcher, std::ostream& out) {
  RefreshAll(model, fetcher);
  const CheckLine line = CheckFarm(model.Machines, FarmHealth(model, UnixNow()));
  out << line.Text << '\n';
  return line.Code;
}
