#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "CliRun.h"
#include "support/HttpTestServer.h"
#include "support/TempDir.h"

namespace {

constexpr char kPassword[] = "s3cr3t-pw";

// Machines whose locations carry a password: one over http that answers
// nothing, one whose https URL is taken for a file name. Every command that
// tells of them must show the user, never the password.
class CliRedactionTest : public ::testing::Test {
 protected:
  CliRedactionTest() {
    ::setenv("QUILLSTRAND_MINUTE_MS", "50", 1);
    const std::string host = "127.0.0.1:" + std::to_string(UnusedPort());
    http_ = "http://farm:" + std::string(kPassword) + "@" + host;
    shownHttp_ = "http://farm:***@" + host;
    settings_ = dir_.write("quillstrand.ini",
                           "[Settings]\nAutoTimerInterval=1\nMachines=2\n"
                           "[Machine 0]\nName=far\nFactorPath=" +
                               http_ + "/fact.txt\nStatusPath=" + http_ +
                               "/QsvStatus.dat\n"
                               "[Machine 1]\nName=odd\nFactorPath=https://farm:" +
                               kPassword + "@m2/fact.txt\nStatusPath=https://farm:" + kPassword +
                               "@m2/QsvStatus.dat\n");
  }
  ~CliRedactionTest() override { ::unsetenv("QUILLSTRAND_MINUTE_MS"); }

  CliRun Run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--config", settings_});
    return RunWith(args);
  }

  TempDir dir_;
  std::string http_, shownHttp_, settings_;
};

TEST_F(CliRedactionTest, NoOutputShowsThePasswordOfALocation) {
  struct Case {
    std::vector<std::string> args;
    std::string shown;  // where the location must show, without its password
  };
  const std::vector<Case> cases{
      {{"config"}, "FactorPath         " + shownHttp_ + "/fact.txt\n"},
      {{"status"}, "quillstrand-cli: far: status file: " + shownHttp_ + "/QsvStatus.dat: "},
      {{"status"}, "quillstrand-cli: odd: factor file: https://farm:***@m2/fact.txt: "},
      {{"status", "--json"}, "\"status\": \"" + shownHttp_ + "/QsvStatus.dat: "},
      {{"status", "--json"}, "\"detail\": \"" + shownHttp_ + "/QsvStatus.dat: "},
      {{"status", "--machine", "0"}, shownHttp_ + "/fact.txt: "},
      {{"watch", "--ticks", "1"}, "warning: far unreachable: " + shownHttp_ + "/QsvStatus.dat: "},
      {{"check"}, "CRITICAL: far: unreachable (" + shownHttp_ + "/QsvStatus.dat: "},
      {{"ranges"}, "Queued ranges for odd\n"},
  };
  for (const auto& [args, shown] : cases) {
    SCOPED_TRACE(args.front() + (args.size() > 1 ? " " + args[1] : ""));
    const CliRun run = Run(args);
    EXPECT_EQ(run.out.find(kPassword), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find(kPassword), std::string::npos) << run.err;
    EXPECT_NE((run.out + run.err).find(shown), std::string::npos) << run.out << run.err;
  }
}

}  // namespace
