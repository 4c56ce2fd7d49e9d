#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliRun.h"
#include "cli/StatusCommand.h"
#include "support/HttpTestServer.h"
#include "support/TempDir.h"

namespace {

using Json = nlohmann::json;

class CliStatusTest : public ::testing::Test {
 protected:
  CliStatusTest() {
    dir_.write("a/QsvStatus.dat", "pmax=2000000000\npmin=1000000000 : 50 kp/s\n");
    dir_.write("a/fact.txt", "1000000007 | x\n1500000001 | y\n");
    dir_.write("a/nextrange.txt", "pmin=3000000000\npmax=4000000000\n");
    dir_.write("b/fact.txt", "77 | \xff\xfe not UTF-8\n");
    settings_ = dir_.write(
        "quillstrand.ini",
        "[Settings]\nMachines=3\n"
        "[Machine 0]\nName=alpha\nStatusPath=" +
            dir_.file("a/QsvStatus.dat") + "\nFactorPath=" + dir_.file("a/fact.txt") +
            "\nLastOldFactor=1000000007\n"
            "[Machine 1]\nName=beta\nFactorPath=" +
            dir_.file("b/fact.txt") + "\n[Machine 2]\nName=dead\nFactorPath=http://127.0.0.1:" +
            std::to_string(UnusedPort()) + "/fact.txt\n");
  }

  TempDir dir_;
  std::string settings_;
};

TEST_F(CliStatusTest, PrintsTheListTheSummaryTheLabelAndTheNewFactors) {
  CliRun run = RunWith({"--config", settings_, "status"});
  EXPECT_EQ(run.code, 0) << run.err;
  // The farm's end follows the clock: the line is compared up to it.
  const std::string summary =
      "\nFarm: 1 working, 0 running dry, 0 finished, 0 stalled, 2 unreachable; 50 kp/s; 2 new "
      "factors; farm done ";
  const size_t at = run.out.find(summary);
  ASSERT_NE(at, std::string::npos) << run.out;
  run.out.erase(at + 1, run.out.find('\n', at + 1) - at);
  EXPECT_EQ(
      run.out,
      "Name   Total factors  pmin        pmax        Current p   % done  Speed    ETA         "
      "Factors  Density   Next range (G)\n"
      "alpha  2              1000000000  2000000000  1000000000  0       50 kp/s  0d 5h 33m   "
      "2        2e+009/G  3-4\n"
      "beta   1              0           0           0           0       0 kp/s   Big Crunch  "
      "0        0/G\n"
      "dead   0              0           0           0           0       0 kp/s   Big Crunch  "
      "0        0/G\n"
      "\n"
      "New factors: 2\n"
      "1500000001 | y\n"
      "77 | \\xff\\xfe not UTF-8\n");
  EXPECT_NE(run.err.find("dead: factor file: http://127.0.0.1:"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("beta: status file: no location is set"), std::string::npos) << run.err;
}

TEST_F(CliStatusTest, JsonHoldsEverythingTheListShows) {
  const CliRun run = RunWith({"--config", settings_, "status", "--json"});
  EXPECT_EQ(run.code, 0) << run.err;
  const Json status = Json::parse(run.out);

  const Json& alpha = status["machines"][0];
  EXPECT_EQ(alpha["name"], "alpha");
  EXPECT_EQ(alpha["cells"].size(), 11u);
  EXPECT_EQ(alpha["cells"][10], "3-4");
  EXPECT_EQ(alpha["totalFactors"], 2);
  EXPECT_EQ(alpha["rangeFactors"], 2);
  EXPECT_EQ(alpha["rangeStart"], 1000000000u);
  EXPECT_EQ(alpha["pmax"], 2000000000u);
  EXPECT_EQ(alpha["currentP"], 1000000000u);
  EXPECT_EQ(alpha["speed"], 50);
  EXPECT_EQ(alpha["done"], false);
  EXPECT_EQ(alpha["queuedRanges"], Json::parse("[[3000000000, 4000000000]]"));
  EXPECT_EQ(alpha["errors"], Json::parse(R"({"status": null, "factors": null, "queue": null})"));
  EXPECT_TRUE(status["machines"][2]["errors"]["factors"].is_string());

  EXPECT_EQ(status["newFactorCount"], 2);
  EXPECT_EQ(status["newFactors"], "1500000001 | y\r\n77 | \xEF\xBF\xBD\xEF\xBF\xBD not UTF-8\r\n");
  EXPECT_EQ(status["allFactors"], "");
  EXPECT_EQ(status["marks"], Json::parse(R"([{"machine": 0, "factor": 1500000001},
                                             {"machine": 1, "factor": 77}])"));
}

TEST_F(CliStatusTest, OneMachineAlone) {
  const CliRun run = RunWith({"--config", settings_, "status", "--machine", "0"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find("\nAll factors:\n1000000007 | x\n1500000001 | y\n"
                         "New factors: 1\n1500000001 | y\n"),
            std::string::npos)
      << run.out;

  const Json status =
      Json::parse(RunWith({"--config", settings_, "status", "--json", "--machine", "0"}).out);
  EXPECT_EQ(status["allFactors"], "1000000007 | x\r\n1500000001 | y\r\n");
  EXPECT_EQ(status["marks"].size(), 1u);
}

// A machine's files and names are not the user's own: nothing in them may
// reach the terminal as a command, or shift the table's columns.
TEST(CliStatus, ShowsControlCharactersEscapedAndAlignsByDisplayWidth) {
  TempDir dir;
  dir.write("a/fact.txt",
            "101 | \x1b]0;owned\x07 title\n102 | \x1b[2J clear\r\n103 | \xc2\x9b c1\tok\n");
  const std::string settings = dir.write(
      "quillstrand.ini",
      "[Settings]\nMachines=3\n[Machine 0]\nName=M\xc3\xbcller\nFactorPath=" +
          dir.file("a/fact.txt") +
          "\n[Machine 1]\nName=\xe4\xb8\xad\xe6\x96\x87\n[Machine 2]\nName=e\xcc\x81\x1b[31m"
          "\nFactorPath=" +
          dir.file("missing\x1b[2J") + "\n");
  const CliRun run = RunWith({"--config", settings, "status"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("101 | \\x1b]0;owned\\x07 title\n"
                         "102 | \\x1b[2J clear\n"
                         "103 | \\xc2\\x9b c1\tok\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\nM\xc3\xbcller     3  "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n\xe4\xb8\xad\xe6\x96\x87       0  "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\ne\xcc\x81\\x1b[31m  0  "), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("missing\\x1b[2J: No such file"), std::string::npos) << run.err;
}

// Counts the GETs of each URL; safe on the reading threads.
class CountingFetcher : public Fetcher {
 public:
  LocationText FetchUrl(const std::string& url) const override {
    const std::lock_guard guard(lock_);
    ++gets_[url];
    return std::string(url.ends_with("fact.txt") ? "7 | x\n" : "");
  }
  int Gets(const std::string& url) const {
    const std::lock_guard guard(lock_);
    return gets_[url];
  }

 private:
  mutable std::mutex lock_;
  mutable std::map<std::string, int> gets_;
};

TEST(CliStatus, AMachineShownAloneHasItsFactorFileReadOnce) {
  Model model;
  model.Machines = {Machine("a", "http://a/fact.txt", "", 0),
                    Machine("b", "http://b/fact.txt", "", 0)};
  const CountingFetcher fetcher;
  std::ostringstream out, err;
  RunStatus(model, fetcher, StatusRequest{false, 1}, {}, out, err);
  EXPECT_EQ(fetcher.Gets("http://a/fact.txt"), 1);
  EXPECT_EQ(fetcher.Gets("http://b/fact.txt"), 1);
  EXPECT_NE(out.str().find("\nAll factors:\n7 | x\nNew factors: 1\n7 | x\n"), std::string::npos)
      << out.str();
  EXPECT_EQ(model.Machines[1].FactorError, "");
  EXPECT_FALSE(model.RefreshBusy);
}

TEST_F(CliStatusTest, AnOutputThatCannotBeWrittenExitsWithTwo) {
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json);
    std::ofstream full("/dev/full");
    std::ostringstream err;
    std::vector<const char*> argv{"quillstrand-cli", "--config", settings_.c_str(), "status"};
    if (json) argv.push_back("--json");
    EXPECT_EQ(RunCli(static_cast<int>(argv.size()), argv.data(), full, err), 2);
    EXPECT_NE(err.str().find("quillstrand-cli: cannot write the output: No space left on device\n"),
              std::string::npos)
        << err.str();
  }
}

TEST_F(CliStatusTest, WrongMachineOrSettingsExitWithTwo) {
  struct Case {
    std::vector<std::string> args;
    std::string error;  // a part of what err says
  };
  const std::array cases{
      Case{{"--config", settings_, "status", "--machine", "3"}, "--machine 3: there are 3"},
      Case{{"--config", settings_, "status", "--machine", "-1"}, "--machine -1: not a"},
      Case{{"--config", settings_, "status", "--machine", "x"}, "--machine x: not a"},
      Case{{"--config", settings_, "status", "--machine", ""}, "--machine \"\": not a"},
      Case{{"--config", settings_, "status", "--machine", "0x3"}, "--machine 0x3: not a"},
      Case{{"--config", dir_.path().string(), "status"}, "cannot read settings file"},
  };
  for (const auto& [args, error] : cases) {
    SCOPED_TRACE(args.back());
    const CliRun run = RunWith(args);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(error), std::string::npos) << run.err;
  }
}

}  // namespace
