#include "farm/Health.h"

#include <ctime>

#include "model/Numbers.h"
#include "monitor/CellTexts.h"
#include "ranges/Equalize.h"
#include "ranges/QueueFile.h"

namespace {

// Some 3000 years: a farm that would take longer, at a speed of a few kp/s
// on ranges of 2^64 p, has no end worth a date (nor one a clock can show).
constexpr uint64_t kFarthestEnd = 100'000'000'000;

std::tm LocalTime(int64_t unixSeconds) {
  const auto seconds = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  return local;
}

std::string TwoDigits(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

// Month names of its own: the C library's follow the locale, which the
// window takes from the environment, and a line shown to monitoring
// systems must not change with it.
std::string DateText(const std::tm& local) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return std::to_string(local.tm_mday) + " " + kMonths[local.tm_mon];
}

std::string ClockText(const std::tm& local) {
  return TwoDigits(local.tm_hour) + ":" + TwoDigits(local.tm_min);
}

// "14:02" on the day of `now`, "9 Dec 14:02" on any other.
std::string SinceText(int64_t when, int64_t now) {
  const std::tm local = LocalTime(when);
  const std::tm today = LocalTime(now);
  const bool sameDay = local.tm_year == today.tm_year && local.tm_yday == today.tm_yday;
  return sameDay ? ClockText(local) : DateText(local) + " " + ClockText(local);
}

// "2d 4h", "3h 10m", "25m": the two largest units are enough for a tooltip.
std::string DurationText(uint64_t seconds) {
  const uint64_t days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60;
  if (days > 0) return DecimalText(days) + "d " + DecimalText(hours) + "h";
  if (hours > 0) return DecimalText(hours) + "h " + DecimalText(minutes) + "m";
  return DecimalText(minutes) + "m";
}

// A machine read over http has no queue file this program can see: its
// queue, kept elsewhere, is unknown rather than empty.
bool QueueKnown(const Machine& machine) { return RangeFilePath(machine.StatusPath).has_value(); }

std::string QueueText(const Machine& machine) {
  if (!QueueKnown(machine)) return "queue not known";
  const size_t ranges = machine.QueuedRanges.size();
  if (ranges == 0) return "queue empty";
  return DecimalText(ranges) + (ranges == 1 ? " range queued" : " ranges queued");
}

std::string RangeEndText(const std::optional<uint64_t>& eta) {
  return eta ? "range ends in " + DurationText(*eta) : "speed 0: range end unknown";
}

const std::string* ReadError(const Machine& machine) {
  for (const std::string* error : {&machine.StatusError, &machine.FactorError, &machine.QueueError})
    if (!error->empty()) return error;
  return nullptr;
}

bool IsFinished(const Machine& machine) {
  return machine.Done || (machine.Pmax > 0 && machine.CurrentP >= machine.Pmax);
}

// With the year: a farm's end may lie in the next one, or years away.
std::string FarmEndText(const std::optional<int64_t>& doneAt) {
  if (!doneAt) return "farm end unknown";
  const std::tm local = LocalTime(*doneAt);
  return "farm done " + DateText(local) + " " + std::to_string(local.tm_year + 1900) + " " +
         ClockText(local);
}

int32_t& MachinesIn(FarmSummary& summary, HealthState state) {
  switch (state) {
    case HealthState::RunningDry:
      return summary.RunningDry;
    case HealthState::Stalled:
      return summary.Stalled;
    case HealthState::Finished:
      return summary.Finished;
    case HealthState::Unreachable:
      return summary.Unreachable;
    case HealthState::Working:
      break;
  }
  return summary.Working;
}

}  // namespace

std::optional<int64_t> StatusChangedAt(const Machine& machine) {
  if (machine.StatusModified) return machine.StatusModified;
  if (machine.PositionSince != 0) return machine.PositionSince;
  return std::nullopt;
}

const char* HealthName(HealthState state) {
  switch (state) {
    case HealthState::Working:
      return "working";
    case HealthState::RunningDry:
      return "running dry";
    case HealthState::Stalled:
      return "stalled";
    case HealthState::Finished:
      return "finished";
    case HealthState::Unreachable:
      return "unreachable";
  }
  return "working";
}

MachineHealth HealthOf(const Machine& machine, const Settings& options, int64_t now) {
  const bool queueEmpty = QueueKnown(machine) && machine.QueuedRanges.empty();
  if (const std::string* error = ReadError(machine))
    return {HealthState::Unreachable, queueEmpty, *error};
  if (IsFinished(machine)) return {HealthState::Finished, queueEmpty, QueueText(machine)};

  const std::optional<int64_t> changed = StatusChangedAt(machine);
  if (changed && now - *changed >= int64_t{options.StalledMinutes} * 60)
    return {HealthState::Stalled, queueEmpty, "no progress since " + SinceText(*changed, now)};

  const std::optional<uint64_t> eta = EtaSeconds(machine);
  if (queueEmpty && eta && *eta <= uint64_t{options.DryHours} * 3600)
    return {HealthState::RunningDry, queueEmpty, "queue empty; " + RangeEndText(eta)};
  return {HealthState::Working, queueEmpty, RangeEndText(eta) + "; " + QueueText(machine)};
}

std::vector<MachineHealth> FarmHealth(const Model& model, int64_t now) {
  std::vector<MachineHealth> health;
  health.reserve(model.Machines.size());
  for (const Machine& machine : model.Machines)
    health.push_back(HealthOf(machine, model.Options, now));
  return health;
}

FarmSummary SummarizeFarm(const Model& model, int64_t now) {
  FarmSummary summary;
  for (const MachineHealth& health : FarmHealth(model, now)) ++MachinesIn(summary, health.State);
  for (const Machine& machine : model.Machines) summary.Speed += machine.Speed;
  summary.NewFactors = model.NewFactorCount;
  const std::optional<uint64_t> seconds = SecondsAsQueued(model.Machines);
  if (seconds && *seconds <= kFarthestEnd) summary.DoneAt = now + static_cast<int64_t>(*seconds);
  return summary;
}

std::string SummaryText(const FarmSummary& summary) {
  const int32_t inFarm = summary.Working + summary.RunningDry + summary.Finished + summary.Stalled +
                         summary.Unreachable;
  if (inFarm == 0) return "No machines";
  const auto count = [](int32_t machines, const char* state) {
    return std::to_string(machines) + " " + state;
  };
  return count(summary.Working, "working") + ", " + count(summary.RunningDry, "running dry") +
         ", " + count(summary.Finished, "finished") + ", " + count(summary.Stalled, "stalled") +
         ", " + count(summary.Unreachable, "unreachable") + "; " + DecimalText(summary.Speed) +
         " kp/s; " +
         count(summary.NewFactors, summary.NewFactors == 1 ? "new factor" : "new factors") + "; " +
         FarmEndText(summary.DoneAt);
}

std::string WarningText(const Machine& machine, const MachineHealth& health) {
  return machine.Name + " " + HealthName(health.State) + ": " + health.Detail;
}

bool Warns(HealthState state) {
  return state == HealthState::Stalled || state == HealthState::Unreachable ||
         state == HealthState::RunningDry;
}

std::vector<std::string> WarningMemory::NewWarnings(const MachineTable& machines,
                                                    const std::vector<MachineHealth>& health) {
  std::vector<std::string> warnings;
  std::map<Identity, HealthState> found;
  for (size_t i = 0; i < machines.size() && i < health.size(); ++i) {
    const HealthState state = health[i].State;
    Identity identity{machines[i].StatusPath, machines[i].FactorPath};
    const auto before = found_.find(identity);
    if (Warns(state) && (before == found_.end() || before->second != state))
      warnings.push_back(WarningText(machines[i], health[i]));
    found.emplace(std::move(identity), state);
  }
  found_ = std::move(found);
  return warnings;
}
