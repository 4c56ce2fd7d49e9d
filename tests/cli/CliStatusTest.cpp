#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliRun.h"
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

TEST_F(CliStatusTest, PrintsTheListTheLabelAndTheNewFactors) {
  const CliRun run = RunWith({"--config", settings_, "status"});
  EXPECT_EQ(run.code, 0) << run.err;
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
      "77 | \xff\xfe not UTF-8\n");
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
