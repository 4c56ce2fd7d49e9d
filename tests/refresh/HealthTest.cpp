#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <ostream>

#include "farm/Health.h"

// Found by GoogleTest beside the type, for failures that read.
void PrintTo(const MachineHealth& health, std::ostream* out) {
  *out << HealthName(health.State) << (health.QueueEmpty ? ", queue empty, " : ", ") << '"'
       << health.Detail << '"';
}

namespace {

// Thu 10 Dec 2026 14:02:00 UTC; every test runs in UTC.
constexpr int64_t kNow = 1796911320;
constexpr uint64_t kPPerSecond = 1'000'000;  // at 1000 kp/s

class HealthTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
};

// Halfway through its range at 1000 kp/s, 5d 18h 53m from its end, one
// range queued, its position last moved a minute ago.
Machine WorkingMachine() {
  Machine machine("box3", "/f/fact.txt", "/f/QsvStatus.dat", 0);
  machine.RangeStart = 1'000'000'000'000;
  machine.Pmax = 2'000'000'000'000;
  machine.CurrentP = 1'500'000'000'000;
  machine.Speed = 1000;
  machine.QueuedRanges = {{3'000'000'000'000, 4'000'000'000'000}};
  machine.PositionSeen = machine.CurrentP;
  machine.PositionSince = kNow - 60;
  return machine;
}

// Leaves `seconds` of the range at 1000 kp/s.
void EndsIn(Machine& machine, uint64_t seconds) {
  machine.CurrentP = machine.Pmax - seconds * kPPerSecond;
}

TEST_F(HealthTest, EveryStateAndItsBoundaries) {
  using H = HealthState;
  struct Case {
    const char* name;
    std::function<void(Machine&)> change;
    MachineHealth health;
    uint32_t stalledMinutes = 30;
    uint32_t dryHours = 24;
  };
  const std::array cases{
      Case{"working", [](Machine&) {}, {H::Working, false, "range ends in 5d 18h; 1 range queued"}},
      Case{"status unread",
           [](Machine& m) { m.StatusError = "http://b/QsvStatus.dat: connection refused"; },
           {H::Unreachable, false, "http://b/QsvStatus.dat: connection refused"}},
      Case{"factors unread",
           [](Machine& m) { m.FactorError = "/f/fact.txt: Permission denied"; },
           {H::Unreachable, false, "/f/fact.txt: Permission denied"}},
      Case{"queue unread",
           [](Machine& m) {
             m.QueuedRanges.clear();
             m.QueueError = "/f/nextrange.txt: Is a directory";
           },
           {H::Unreachable, true, "/f/nextrange.txt: Is a directory"}},
      Case{"unreachable before finished",
           [](Machine& m) {
             m.Done = true;
             m.FactorError = "gone";
           },
           {H::Unreachable, false, "gone"}},
      Case{"done, nothing queued",
           [](Machine& m) {
             m.Done = true;
             m.QueuedRanges.clear();
           },
           {H::Finished, true, "queue empty"}},
      Case{"at its bound, two queued",
           [](Machine& m) {
             m.CurrentP = m.Pmax;
             m.QueuedRanges.push_back({5'000'000'000'000, 6'000'000'000'000});
           },
           {H::Finished, false, "2 ranges queued"}},
      Case{"just below its bound",
           [](Machine& m) { m.CurrentP = m.Pmax - 1; },
           {H::Working, false, "range ends in 0m; 1 range queued"}},
      Case{"no range read",
           [](Machine& m) { m.Pmax = m.CurrentP = m.RangeStart = m.Speed = 0; },
           {H::Working, false, "speed 0: range end unknown; 1 range queued"}},
      Case{"finished before stalled",
           [](Machine& m) {
             m.Done = true;
             m.StatusModified = kNow - 86400;
           },
           {H::Finished, false, "1 range queued"}},
      Case{"file unchanged for 30 minutes",
           [](Machine& m) { m.StatusModified = kNow - 30 * 60; },
           {H::Stalled, false, "no progress since 13:32"}},
      Case{"file unchanged for a second less",
           [](Machine& m) { m.StatusModified = kNow - 30 * 60 + 1; },
           {H::Working, false, "range ends in 5d 18h; 1 range queued"}},
      Case{"the file's time before the position's",
           [](Machine& m) {
             m.StatusModified = kNow - 60;
             m.PositionSince = kNow - 86400;
           },
           {H::Working, false, "range ends in 5d 18h; 1 range queued"}},
      Case{"position still for 30 minutes",
           [](Machine& m) { m.PositionSince = kNow - 30 * 60; },
           {H::Stalled, false, "no progress since 13:32"}},
      Case{"never read",
           [](Machine& m) { m.PositionSince = 0; },
           {H::Working, false, "range ends in 5d 18h; 1 range queued"}},
      Case{"still since yesterday",
           [](Machine& m) { m.StatusModified = kNow - 86400; },
           {H::Stalled, false, "no progress since 9 Dec 14:02"}},
      Case{"a shorter stall limit",
           [](Machine& m) { m.StatusModified = kNow - 600; },
           {H::Stalled, false, "no progress since 13:52"},
           10},
      Case{"stalled before running dry",
           [](Machine& m) {
             m.QueuedRanges.clear();
             EndsIn(m, 3600);
             m.PositionSince = kNow - 3600;
           },
           {H::Stalled, true, "no progress since 13:02"}},
      Case{"range ends in exactly 24 hours, nothing queued",
           [](Machine& m) {
             m.QueuedRanges.clear();
             EndsIn(m, 24 * 3600);
           },
           {H::RunningDry, true, "queue empty; range ends in 1d 0h"}},
      Case{"a second more",
           [](Machine& m) {
             m.QueuedRanges.clear();
             EndsIn(m, 24 * 3600 + 1);
           },
           {H::Working, true, "range ends in 1d 0h; queue empty"}},
      Case{"a shorter dry limit",
           [](Machine& m) {
             m.QueuedRanges.clear();
             EndsIn(m, 3 * 3600 + 10 * 60);
           },
           {H::RunningDry, true, "queue empty; range ends in 3h 10m"},
           30,
           4},
      Case{"ends soon with a range queued",
           [](Machine& m) { EndsIn(m, 60); },
           {H::Working, false, "range ends in 1m; 1 range queued"}},
      Case{"speed 0, nothing queued",
           [](Machine& m) {
             m.QueuedRanges.clear();
             m.Speed = 0;
           },
           {H::Working, true, "speed 0: range end unknown; queue empty"}},
      // Its queue lies with the machine, where no file of this program is.
      Case{"read over http, ends soon",
           [](Machine& m) {
             m.StatusPath = "http://box3:8080/QsvStatus.dat";
             m.QueuedRanges.clear();
             EndsIn(m, 60);
           },
           {H::Working, false, "range ends in 1m; queue not known"}},
      Case{"read over http, done",
           [](Machine& m) {
             m.StatusPath = "http://box3:8080/QsvStatus.dat";
             m.QueuedRanges.clear();
             m.Done = true;
           },
           {H::Finished, false, "queue not known"}},
  };
  for (const auto& [name, change, health, stalledMinutes, dryHours] : cases) {
    SCOPED_TRACE(name);
    Machine machine = WorkingMachine();
    change(machine);
    Settings options;
    options.StalledMinutes = stalledMinutes;
    options.DryHours = dryHours;
    EXPECT_EQ(HealthOf(machine, options, kNow), health);
  }
}

TEST_F(HealthTest, SummaryCountsTheFarmAndItsEnd) {
  Model model;
  model.NewFactorCount = 17;
  Machine stalled = WorkingMachine();
  stalled.StatusModified = kNow - 3600;
  Machine finished = WorkingMachine();
  finished.Done = true;
  finished.CurrentP = finished.Pmax;
  // Its queue alone, 2e12 p at 1e6 p/s, a reversed range counting for
  // nothing: the last to end, in 2e6 s; the others end in 1.5e6 s.
  finished.QueuedRanges = {{3'000'000'000'000, 5'000'000'000'000},
                           {9'000'000'000'000, 8'000'000'000'000}};
  Machine unreachable("box9", "http://b/fact.txt", "http://b/QsvStatus.dat", 0);
  unreachable.StatusError = "http://b/QsvStatus.dat: connection refused";
  model.Machines = {WorkingMachine(), WorkingMachine(), stalled, finished, unreachable};

  FarmSummary summary = SummarizeFarm(model, kNow);
  EXPECT_EQ(summary, (FarmSummary{2, 0, 1, 1, 1, 4000, 17, kNow + 2'000'000}));
  EXPECT_EQ(SummaryText(summary),
            "2 working, 0 running dry, 1 finished, 1 stalled, 1 unreachable; 4000 kp/s; "
            "17 new factors; farm done 2 Jan 2027 17:35");

  // Work left at speed 0 has no end.
  model.Machines[1].Speed = 0;
  summary = SummarizeFarm(model, kNow);
  EXPECT_EQ(summary.DoneAt, std::nullopt);
  // Nor has work for thousands of years, which no clock can date.
  model.Machines = {WorkingMachine()};
  model.Machines[0].Pmax = UINT64_MAX;
  model.Machines[0].Speed = 1;
  EXPECT_EQ(SummarizeFarm(model, kNow).DoneAt, std::nullopt);

  summary.NewFactors = 1;
  EXPECT_TRUE(SummaryText(summary).ends_with("; 1 new factor; farm end unknown"))
      << SummaryText(summary);

  // A farm without machines ends at once: there is nothing to date.
  model.Machines.clear();
  EXPECT_EQ(SummaryText(SummarizeFarm(model, kNow)), "No machines");
}

TEST_F(HealthTest, WarnsOnceWhenAMachineEntersAWarningState) {
  using H = HealthState;
  const MachineTable machines{Machine("box3", "", "", 0)};
  struct Step {
    HealthState state;
    bool warns;
  };
  const std::array steps{
      Step{H::Working, false},     Step{H::Stalled, true},    Step{H::Stalled, false},
      Step{H::Working, false},     Step{H::Stalled, true},    Step{H::Unreachable, true},
      Step{H::Unreachable, false}, Step{H::RunningDry, true}, Step{H::Finished, false},
  };
  WarningMemory memory;
  for (const auto& [state, warns] : steps) {
    SCOPED_TRACE(HealthName(state));
    const std::vector<MachineHealth> health{{state, true, "why"}};
    EXPECT_EQ(memory.NewWarnings(machines, health),
              warns ? std::vector<std::string>{std::string("box3 ") + HealthName(state) + ": why"}
                    : std::vector<std::string>{});
  }
}

// A machine is remembered by its files: neither a new name nor a new place
// in the table makes it warn again, or keeps it from warning.
TEST_F(HealthTest, WarningMemoryKnowsAMachineByItsLocations) {
  using H = HealthState;
  struct Seen {
    std::string name;
    std::string folder;  // of its status and factor files
    HealthState state;
  };
  // One look at the farm, and the warnings it gives.
  struct Look {
    std::vector<Seen> machines;
    std::vector<std::string> warnings;
  };
  struct Case {
    const char* name;
    std::vector<Look> looks;
  };
  const Seen aStalled{"a", "x", H::Stalled}, bStalled{"b", "y", H::Stalled};
  const std::vector<std::string> aWarns{"a stalled: why"}, bWarns{"b stalled: why"};
  const Case cases[] = {
      {"renamed", {{{aStalled}, aWarns}, {{{"renamed", "x", H::Stalled}}, {}}}},
      {"moved up by a removal", {{{{"a", "x", H::Working}, bStalled}, bWarns}, {{bStalled}, {}}}},
      {"moved up into the place of a stalled one",
       {{{aStalled, {"b", "y", H::Working}}, aWarns}, {{bStalled}, bWarns}}},
      {"reordered",
       {{{aStalled, {"b", "y", H::Unreachable}}, {"a stalled: why", "b unreachable: why"}},
        {{{"b", "y", H::Unreachable}, aStalled}, {}}}},
      {"its locations changed", {{{aStalled}, aWarns}, {{{"a", "z", H::Stalled}}, aWarns}}},
      {"added",
       {{{aStalled}, aWarns}, {{aStalled, {"c", "z", H::Unreachable}}, {"c unreachable: why"}}}},
      {"removed and added again", {{{aStalled}, aWarns}, {{}, {}}, {{aStalled}, aWarns}}},
      {"listed twice",
       {{{aStalled, {"b", "x", H::Stalled}}, {"a stalled: why", "b stalled: why"}},
        {{aStalled, {"b", "x", H::Stalled}}, {}}}},
      {"two of one name",
       {{{aStalled, {"a", "y", H::Working}}, aWarns},
        {{aStalled, {"a", "y", H::Stalled}}, aWarns}}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    WarningMemory memory;
    for (size_t look = 0; look < test.looks.size(); ++look) {
      MachineTable machines;
      std::vector<MachineHealth> health;
      for (const Seen& seen : test.looks[look].machines) {
        const std::string folder = "/" + seen.folder + "/";
        machines.emplace_back(seen.name, folder + "fact.txt", folder + "QsvStatus.dat", 0);
        health.push_back({seen.state, false, "why"});
      }
      EXPECT_EQ(memory.NewWarnings(machines, health), test.looks[look].warnings) << "look " << look;
    }
  }
}

}  // namespace
