#include "cli/MetricsText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
#include <set>

#include "model/TerminalText.h"
#include "farm/Health.h"
#include "model/Constants.h"
#include "monitor/CellTexts.h"

namespace {

constexpr std::array kStates{HealthState::Working, HealthState::RunningDry, HealthState::Stalled,
                             HealthState::Finished, HealthState::Unreachable};

// Whole numbers in full while a double holds them exactly; the shortest
// text that reads back the same otherwise.
std::string NumberText(double value) {
  char buffer[32];
  const bool whole = value == std::trunc(value) && std::fabs(value) < 0x1p53;
  const auto end =
      whole ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 0).ptr
            : std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

struct MachineFacts {
  const Machine& machine;
  const MachineHealth& health;
  int64_t now;
};

using MachineValue = std::function<std::optional<double>(const MachineFacts&)>;

struct MachineMetric {
  const char* name;
  const char* help;
  MachineValue value;
};

double ProgressRatio(const Machine& machine) {
  if (machine.Done) return 1;
  if (machine.Pmax <= machine.RangeStart || machine.CurrentP <= machine.RangeStart) return 0;
  const auto done = static_cast<double>(machine.CurrentP - machine.RangeStart);
  return std::min(1.0, done / static_cast<double>(machine.Pmax - machine.RangeStart));
}

std::optional<double> EtaValue(const MachineFacts& facts) {
  if (facts.health.State == HealthState::Finished) return 0;
  const std::optional<uint64_t> eta = EtaSeconds(facts.machine);
  if (!eta) return std::nullopt;
  return static_cast<double>(*eta);
}

double QueuedP(const Machine& machine) {
  double p = 0;
  for (const Range& range : machine.QueuedRanges)
    if (range.Pmax >= range.Pmin) p += static_cast<double>(range.Pmax - range.Pmin) + 1;
  return p;
}

std::optional<double> StatusAge(const MachineFacts& facts) {
  const std::optional<int64_t> changed = StatusChangedAt(facts.machine);
  if (!changed) return std::nullopt;
  return static_cast<double>(std::max<int64_t>(0, facts.now - *changed));
}

const std::array<MachineMetric, 11> kMachineMetrics{{
    {"quillstrand_machine_speed_p_per_second", "Sieving speed, as the client reports it.",
     [](const MachineFacts& f) { return f.machine.Speed * 1000.0; }},
    {"quillstrand_machine_progress_ratio", "Share of the current range sieved, from 0 to 1.",
     [](const MachineFacts& f) { return ProgressRatio(f.machine); }},
    {"quillstrand_machine_eta_seconds",
     "Time left in the current range at the present speed; absent at speed 0.", EtaValue},
    {"quillstrand_machine_current_p", "Position in the current range.",
     [](const MachineFacts& f) { return static_cast<double>(f.machine.CurrentP); }},
    {"quillstrand_machine_range_start_p", "Start of the current range.",
     [](const MachineFacts& f) { return static_cast<double>(f.machine.RangeStart); }},
    {"quillstrand_machine_range_end_p", "End of the current range.",
     [](const MachineFacts& f) { return static_cast<double>(f.machine.Pmax); }},
    {"quillstrand_machine_new_factors", "Factors found since the last one submitted.",
     [](const MachineFacts& f) { return static_cast<double>(f.machine.NewFactors); }},
    {"quillstrand_machine_factors", "Factor lines in the machine's factor file.",
     [](const MachineFacts& f) { return static_cast<double>(f.machine.TotalFactors); }},
    {"quillstrand_machine_queued_p", "Length of the ranges queued for the machine.",
     [](const MachineFacts& f) { return QueuedP(f.machine); }},
    {"quillstrand_machine_status_age_seconds",
     "Time since the status file last changed; absent for a machine never read.", StatusAge},
    {"quillstrand_machine_last_read_success",
     "1 when the last refresh read every file of the machine, 0 otherwise.",
     [](const MachineFacts& f) { return f.health.State == HealthState::Unreachable ? 0.0 : 1.0; }},
}};

class MetricsWriter {
 public:
  void Family(const char* name, const char* help, const char* type) {
    text_ += std::string("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
  }
  // `labels` as written between the braces: name="escaped value",...
  void Sample(const char* name, const std::string& labels, double value) {
    text_ += name;
    if (!labels.empty()) text_ += '{' + labels + '}';
    text_ += ' ' + NumberText(value) + '\n';
  }
  std::string Text() && { return std::move(text_); }

 private:
  std::string text_;
};

std::string Label(const char* name, std::string_view value) {
  return std::string(name) + "=\"" + LabelValue(value) + '"';
}

// Prometheus takes two series with the same labels for an error: a name
// that comes again gets its number among its namesakes, "box (2)".
std::vector<std::string> UniqueNames(const MachineTable& machines) {
  std::set<std::string> taken;
  std::vector<std::string> names;
  for (const Machine& machine : machines) {
    std::string name = machine.Name;
    for (int n = 2; !taken.insert(name).second; ++n)
      name = machine.Name + " (" + std::to_string(n) + ")";
    names.push_back(name);
  }
  return names;
}

void WriteMachines(MetricsWriter& out, const FarmReading& reading,
                   const std::vector<MachineHealth>& health) {
  const MachineTable& machines = reading.Farm.Machines;
  std::vector<std::string> labels;
  for (const std::string& name : UniqueNames(machines)) labels.push_back(Label("machine", name));
  for (const MachineMetric& metric : kMachineMetrics) {
    out.Family(metric.name, metric.help, "gauge");
    for (size_t i = 0; i < machines.size(); ++i)
      if (const auto value = metric.value({machines[i], health[i], reading.Time}))
        out.Sample(metric.name, labels[i], *value);
  }
  constexpr char kHealth[] = "quillstrand_machine_health_state";
  out.Family(kHealth, "1 for the machine's health state, 0 for the others.", "gauge");
  for (size_t i = 0; i < machines.size(); ++i)
    for (const HealthState state : kStates)
      out.Sample(kHealth, labels[i] + ',' + Label("state", HealthName(state)),
                 health[i].State == state ? 1 : 0);
}

void WriteFarm(MetricsWriter& out, const FarmReading& reading,
               const std::vector<MachineHealth>& health) {
  constexpr char kMachines[] = "quillstrand_farm_machines";
  out.Family(kMachines, "Machines in each health state.", "gauge");
  for (const HealthState state : kStates)
    out.Sample(kMachines, Label("state", HealthName(state)),
               static_cast<double>(std::count_if(health.begin(), health.end(),
                                                 [&](const auto& h) { return h.State == state; })));
  const FarmSummary summary = SummarizeFarm(reading.Farm, reading.Time);
  const auto single = [&](const char* name, const char* help, const char* type, double value) {
    out.Family(name, help, type);
    out.Sample(name, "", value);
  };
  single("quillstrand_farm_speed_p_per_second", "Sieving speed of all machines together.", "gauge",
         static_cast<double>(summary.Speed) * 1000);
  single("quillstrand_farm_new_factors", "Factors on display to be submitted.", "gauge",
         summary.NewFactors);
  if (summary.DoneAt)
    single("quillstrand_farm_done_timestamp_seconds",
           "When every machine will have sieved its range and queue, at the present speeds.",
           "gauge", static_cast<double>(*summary.DoneAt));
  single("quillstrand_refresh_duration_seconds", "How long the last refresh of the farm took.",
         "gauge", reading.RefreshSeconds);
  single("quillstrand_refresh_timestamp_seconds", "When the last refresh of the farm ended.",
         "gauge", static_cast<double>(reading.Time));
  single("quillstrand_refreshes_total", "Refreshes of the farm since the server started.",
         "counter", static_cast<double>(reading.Refreshes));
  out.Family("quillstrand_build_info", "The program's version.", "gauge");
  out.Sample("quillstrand_build_info", Label("version", kVersion), 1);
}

}  // namespace

std::string LabelValue(std::string_view text) {
  std::string escaped;
  for (const char c : TerminalText(text)) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string MetricsText(const FarmReading& reading) {
  const std::vector<MachineHealth> health = FarmHealth(reading.Farm, reading.Time);
  MetricsWriter out;
  WriteMachines(out, reading, health);
  WriteFarm(out, reading, health);
  return std::move(out).Text();
}
