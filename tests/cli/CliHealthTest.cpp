#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/HttpTestServer.h"
#include "support/TempDir.h"

namespace {

// Half a range left at 50 kp/s: 231 days.
constexpr char kWorking[] = "pmax=2000000000000\npmin=1000000000000 : 50 kp/s\n";
// 1e8 p left at 50,000 kp/s: two seconds.
constexpr char kEndingSoon[] = "pmax=1000100000000\npmin=1000000000000 : 50000 kp/s\n";
constexpr char kDone[] = "pmax=2000\npmin=1000 : 5\nDone\n";
constexpr char kQueue[] = "pmin=3000000000000\npmax=4000000000000\n";

// One machine of a farm made for a test: its status file, its queue (none
// when empty), and how long ago its status file was last written.
struct FarmMachine {
  std::string name;
  std::string status;  // empty: an http host where nothing listens
  std::string queue = "";
  int64_t writtenAgo = 0;
};

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// "HH:MM" of a Unix time in UTC, in which every test here runs.
std::string ClockText(int64_t unixSeconds) {
  const auto seconds = static_cast<std::time_t>(unixSeconds);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[8];
  std::strftime(text, sizeof text, "%H:%M", &utc);
  return text;
}

// The check's line with each unreachable machine's read error, which names
// a port chosen at random, as "…".
std::string WithoutReadErrors(const std::string& line) {
  return std::regex_replace(line, std::regex(R"(: unreachable \(.*?\)(?= \| |\n))"),
                            ": unreachable (…)");
}

class CliHealthTest : public ::testing::Test {
 protected:
  CliHealthTest() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::setenv("QUILLSTRAND_MINUTE_MS", "50", 1);
  }
  ~CliHealthTest() override { ::unsetenv("QUILLSTRAND_MINUTE_MS"); }

  // Lays the farm out, in a folder of its own, and gives its settings file.
  std::string Farm(const std::vector<FarmMachine>& machines) {
    const std::string farm = "farm " + std::to_string(++farms_) + "/";
    std::string settings =
        "[Settings]\nAutoTimerInterval=1\nMachines=" + std::to_string(machines.size()) + "\n";
    for (size_t i = 0; i < machines.size(); ++i) {
      const FarmMachine& machine = machines[i];
      std::string status, factors;
      if (machine.status.empty()) {
        const std::string dead = "http://127.0.0.1:" + std::to_string(UnusedPort());
        status = dead + "/QsvStatus.dat";
        factors = dead + "/fact.txt";
      } else {
        status = dir_.write(farm + machine.name + "/QsvStatus.dat", machine.status);
        factors = dir_.write(farm + machine.name + "/fact.txt", "");
        if (!machine.queue.empty())
          dir_.write(farm + machine.name + "/nextrange.txt", machine.queue);
        const timespec written[2] = {{Now() - machine.writtenAgo, 0},
                                     {Now() - machine.writtenAgo, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, status.c_str(), written, 0), 0);
      }
      settings += "[Machine " + std::to_string(i) + "]\nName=" + machine.name +
                  "\nStatusPath=" + status + "\nFactorPath=" + factors + "\n";
    }
    return dir_.write(farm + "quillstrand.ini", settings);
  }

  TempDir dir_;
  int farms_ = 0;
};

TEST_F(CliHealthTest, CheckGivesEachCodeOnAFarmMadeForIt) {
  const int64_t stalledAt = Now() - 7200;
  const std::string stalledLine = "box3: stalled (no progress since " + ClockText(stalledAt) + ")";
  struct Case {
    const char* name;
    std::vector<FarmMachine> machines;
    int code;
    std::string line;
  };
  const std::array cases{
      Case{"all well",
           {{"box1", kWorking, kQueue}, {"box2", kWorking, kQueue}, {"box5", kDone, kQueue}},
           0,
           "OK: 2 working, 1 finished"},
      Case{"no machines", {}, 0, "OK: no machines"},
      Case{"stalled",
           {{"box1", kWorking, kQueue}, {"box3", kWorking, kQueue, 7200}},
           1,
           "WARNING: " + stalledLine},
      Case{"running dry and idle",
           {{"box4", kEndingSoon}, {"box5", kDone}},
           1,
           "WARNING: box4: running dry (queue empty; range ends in 0m) | box5: finished (queue "
           "empty)"},
      Case{"unreachable",
           {{"box1", kWorking, kQueue}, {"box8", ""}},
           2,
           "CRITICAL: box8: unreachable (…)"},
      Case{"unreachable and stalled",
           {{"box8", ""}, {"box3", kWorking, kQueue, 7200}, {"box9", ""}},
           2,
           "CRITICAL: box8: unreachable (…) | box9: unreachable (…) | " + stalledLine},
  };
  for (const auto& [name, machines, code, line] : cases) {
    SCOPED_TRACE(name);
    const CliRun run = RunWith({"--config", Farm(machines), "check"});
    EXPECT_EQ(run.code, code) << run.err;
    EXPECT_EQ(WithoutReadErrors(run.out), line + "\n");
  }
}

TEST_F(CliHealthTest, CheckIsUnknownWithoutItsSettings) {
  const CliRun run = RunWith({"--config", dir_.file(""), "check"});
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(run.out.starts_with("UNKNOWN: cannot read settings file ")) << run.out;
  EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
}

TEST_F(CliHealthTest, CheckMakesNamesSafeForATerminal) {
  const CliRun run = RunWith({"--config", Farm({{"box\x1b]0;owned\x07", ""}}), "check"});
  EXPECT_EQ(WithoutReadErrors(run.out), "CRITICAL: box\\x1b]0;owned\\x07: unreachable (…)\n");
}

TEST_F(CliHealthTest, StatusShowsEachMachinesHealthAndTheSummary) {
  const std::string settings =
      Farm({{"box1", kWorking, kQueue}, {"box4", kEndingSoon}, {"box8", ""}});
  const nlohmann::json status =
      nlohmann::json::parse(RunWith({"--config", settings, "status", "--json"}).out);
  EXPECT_EQ(status["machines"][0]["health"],
            nlohmann::json::parse(R"({"state": "working", "queueEmpty": false,
                                      "detail": "range ends in 231d 11h; 1 range queued"})"));
  EXPECT_EQ(status["machines"][1]["health"]["state"], "running dry");
  EXPECT_EQ(status["machines"][2]["health"]["state"], "unreachable");
  const nlohmann::json& summary = status["summary"];
  EXPECT_EQ(summary["working"], 1);
  EXPECT_EQ(summary["runningDry"], 1);
  EXPECT_EQ(summary["unreachable"], 1);
  EXPECT_EQ(summary["speed"], 50050);
  // box1's half range and queue, 2e12 p at 50,000 p/s.
  EXPECT_NEAR(summary["doneAt"].get<double>(), static_cast<double>(Now() + 40'000'000), 5);
  const std::string text = summary["text"];
  EXPECT_TRUE(
      text.starts_with("1 working, 1 running dry, 0 finished, 0 stalled, 1 unreachable; "
                       "50050 kp/s; 0 new factors; farm done "))
      << text;

  const CliRun run = RunWith({"--config", settings, "status"});
  EXPECT_NE(run.out.find("\nFarm: " + text + "\n\nNew factors: 0\n"), std::string::npos) << run.out;
}

TEST_F(CliHealthTest, WatchWarnsOnceOfAMachineRunningDry) {
  const CliRun run = RunWith({"--config", Farm({{"box1", kWorking, kQueue}, {"box4", kEndingSoon}}),
                              "watch", "--ticks", "2"});
  EXPECT_EQ(run.code, 0) << run.err;
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = run.out.substr(start, end - start);
    lines.push_back(line.substr(line.find(' ') + 1));  // without the time
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "tick 1: 2 of 2 machines read, 0 new factors, not submitted (AutoSubmit is "
                       "off)",
                       "warning: box4 running dry: queue empty; range ends in 0m",
                       "tick 2: 2 of 2 machines read, 0 new factors, not submitted (AutoSubmit is "
                       "off)"}));
}

}  // namespace
