#include "farm/EqualizeLeftOut.h"

#include "farm/Health.h"
#include "ranges/QueueFile.h"

namespace {

std::string WhyLeftOut(const Machine& machine, const Settings& options) {
  if (!RangeFilePath(machine.StatusPath)) return {};
  const MachineHealth health = HealthOf(machine, options, machine.ReadAt);
  if (health.State != HealthState::Stalled && health.State != HealthState::Unreachable) return {};
  return std::string(HealthName(health.State)) + ": " + health.Detail;
}

}  // namespace

std::vector<std::string> EqualizeLeftOut(const MachineTable& machines, const Settings& options) {
  std::vector<std::string> leftOut;
  leftOut.reserve(machines.size());
  for (const Machine& machine : machines) leftOut.push_back(WhyLeftOut(machine, options));
  return leftOut;
}
