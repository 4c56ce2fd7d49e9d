#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "farm/EqualizeLeftOut.h"

namespace {

// Thu 10 Dec 2026 14:02:00 UTC; every test runs in UTC.
constexpr int64_t kNow = 1796911320;
constexpr uint64_t kPPerHour = 3'600'000'000;  // at 1000 kp/s

class EqualizeLeftOutTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
};

// Read at kNow, halfway through a long range at 1000 kp/s with a range
// queued, its status file written a minute before.
Machine Sieving() {
  Machine machine("box3", "/f/fact.txt", "/f/QsvStatus.dat", 0);
  machine.Pmax = 2'000'000'000'000;
  machine.CurrentP = 1'500'000'000'000;
  machine.Speed = 1000;
  machine.QueuedRanges = {{3'000'000'000'000, 4'000'000'000'000}};
  machine.StatusModified = kNow - 60;
  machine.ReadAt = kNow;
  return machine;
}

TEST_F(EqualizeLeftOutTest, LeavesOutTheStalledAndTheUnreachableThatHaveAQueueFile) {
  struct Case {
    const char* name;
    std::function<void(Machine&)> change;
    std::string leftOut;
    uint32_t stalledMinutes = 30;
  };
  const std::array cases{
      Case{"working", [](Machine&) {}, ""},
      Case{"running dry",
           [](Machine& m) {
             m.QueuedRanges.clear();
             m.CurrentP = m.Pmax - kPPerHour;
           },
           ""},
      Case{"finished", [](Machine& m) { m.Done = true; }, ""},
      Case{"finished long ago",
           [](Machine& m) {
             m.Done = true;
             m.StatusModified = kNow - 86400;
           },
           ""},
      Case{"stalled", [](Machine& m) { m.StatusModified = kNow - 2 * 3600; },
           "stalled: no progress since 12:02"},
      Case{"stalled by the options' minutes", [](Machine& m) { m.StatusModified = kNow - 45 * 60; },
           "stalled: no progress since 13:17"},
      Case{"not yet stalled by the options' minutes",
           [](Machine& m) { m.StatusModified = kNow - 45 * 60; }, "", 60},
      Case{"judged when it was read, hours ago",
           [](Machine& m) {
             m.StatusModified = kNow - 2 * 3600;
             m.ReadAt = kNow - 2 * 3600 + 60;
           },
           ""},
      Case{"never read",
           [](Machine& m) {
             m.StatusModified.reset();
             m.ReadAt = 0;
           },
           ""},
      Case{"unreachable",
           [](Machine& m) { m.StatusError = "/f/QsvStatus.dat: No such file or directory"; },
           "unreachable: /f/QsvStatus.dat: No such file or directory"},
      Case{"over http, stalled",
           [](Machine& m) {
             m.StatusPath = "http://b/QsvStatus.dat";
             m.StatusModified = kNow - 2 * 3600;
           },
           ""},
      Case{"over http, unreachable",
           [](Machine& m) {
             m.StatusPath = "http://b/QsvStatus.dat";
             m.StatusError = "http://b/QsvStatus.dat: connection refused";
           },
           ""},
  };
  for (const auto& [name, change, leftOut, stalledMinutes] : cases) {
    SCOPED_TRACE(name);
    MachineTable table{Sieving(), Sieving()};
    change(table[1]);
    Settings options;
    options.StalledMinutes = stalledMinutes;
    EXPECT_EQ(EqualizeLeftOut(table, options), (std::vector<std::string>{"", leftOut}));
  }
}

}  // namespace
