#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "CliRun.h"
#include "ranges/QueueWrites.h"
#include "support/HttpTestServer.h"
#include "support/TempDir.h"

namespace {

using Json = nlohmann::json;

// A farm of sieving machines in folders of their own, and one over http
// that answers nothing.
class Farm {
 public:
  Farm() {
    AddMachine("alpha", Sieving(100), "pmin=1000000000000\npmax=1100000000000\n");
    AddMachine("beta", Sieving(100));
    statusPaths.push_back("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/QsvStatus.dat");
    names.push_back("far");
  }

  // A status file that has reached the end of its range at `speed` kp/s.
  static std::string Sieving(int speed) {
    return "pmax=500000000000\npmin=500000000000 : " + std::to_string(speed) + " kp/s\n";
  }

  void AddMachine(const std::string& name, const std::string& status,
                  const std::string& queue = "") {
    statusPaths.push_back(dir.write(name + "/QsvStatus.dat", status));
    if (!queue.empty()) dir.write(name + "/nextrange.txt", queue);
    names.push_back(name);
  }

  std::string Queue(const std::string& name) const {
    return ReadFile(dir.file(name + "/nextrange.txt"));
  }

  CliRun Run(std::vector<std::string> args) const {
    std::string settings = "[Settings]\nMachines=" + std::to_string(names.size()) + "\n";
    for (size_t i = 0; i < names.size(); ++i)
      settings += "[Machine " + std::to_string(i) + "]\nName=" + names[i] +
                  "\nStatusPath=" + statusPaths[i] + "\n";
    args.insert(args.begin(), {"--config", dir.write("quillstrand.ini", settings)});
    return RunWith(args);
  }

  TempDir dir;
  // Machine i is named names[i] and its status file lies at statusPaths[i].
  std::vector<std::string> names, statusPaths;
};

TEST(CliRanges, RangesListsEveryQueueInBillions) {
  Farm farm;
  farm.dir.write(
      "beta/nextrange.txt",
      "pmin=1500000000123\npmax=1510000000000\npmin=20000000000000\npmax=20001000000000\n");
  const CliRun run = farm.Run({"ranges"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "Queued ranges for alpha\n"
            "pmin  pmax\n"
            "1000  1100\n"
            "\n"
            "Queued ranges for beta\n"
            "pmin   pmax\n"
            "1500   1510\n"
            "20000  20001\n"
            "\n"
            "Queued ranges for far\n"
            "pmin  pmax\n");
  EXPECT_EQ(run.err, "");

  const Json json = Json::parse(farm.Run({"ranges", "--json"}).out);
  EXPECT_EQ(json, Json::parse(R"({"queues": [
      [[1000000000000, 1100000000000]],
      [[1500000000123, 1510000000000], [20000000000000, 20001000000000]],
      []]})"));
}

TEST(CliRanges, RangesNamesAQueueFileThatCannotBeRead) {
  Farm farm;
  std::filesystem::create_directory(farm.dir.file("beta/nextrange.txt"));
  const CliRun run = farm.Run({"ranges"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.err, "quillstrand-cli: beta: queued range file: " +
                         farm.dir.file("beta/nextrange.txt") + ": Is a directory\n");
}

// A name or a reason from a settings file or a queue's folder reaches the
// terminal with its control bytes escaped, on either stream.
TEST(CliRanges, NamesAndReasonsAreSafeForATerminal) {
  Farm farm;
  farm.names[0] = "alpha\x1b]0;owned\x07";
  farm.names[1] = "beta\x1b[2J";
  std::filesystem::create_directory(farm.dir.file("beta/nextrange.txt"));
  for (const char* command : {"ranges", "equalize"}) {
    SCOPED_TRACE(command);
    const CliRun run = farm.Run({command});
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("quillstrand-cli: beta\\x1b[2J: queued range file: "), std::string::npos)
        << run.err;
  }
  std::filesystem::remove(farm.dir.file("beta/nextrange.txt"));
  const CliRun listed = farm.Run({"ranges"});
  EXPECT_NE(listed.out.find("Queued ranges for alpha\\x1b]0;owned\\x07\n"), std::string::npos)
      << listed.out;
  const CliRun equalized = farm.Run({"equalize"});
  EXPECT_NE(equalized.out.find("Queued ranges for beta\\x1b[2J\n"), std::string::npos)
      << equalized.out;
}

TEST(CliRanges, EqualizeSharesByTheSpeedsAndWritesTheQueues) {
  Farm farm;
  const CliRun run = farm.Run({"equalize"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "Queued ranges for alpha\n"
            "pmin  pmax\n"
            "1000  1050\n"
            "\n"
            "Queued ranges for beta\n"
            "pmin  pmax\n"
            "1050  1100\n"
            "\n"
            "Queued ranges for far\n"
            "pmin  pmax\n"
            "\n"
            "Everything should be done in about 5d 18h 53m.\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(farm.Queue("alpha"), "pmin=1000000000000\npmax=1050000000000\n");
  EXPECT_EQ(farm.Queue("beta"), "pmin=1050000000000\npmax=1100000000000\n");
}

TEST(CliRanges, EqualizeDryRunPrintsJsonAndWritesNothing) {
  Farm farm;
  const CliRun run = farm.Run({"equalize", "--dry-run", "--json"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(Json::parse(run.out), Json::parse(R"({
      "overlaps": [],
      "queues": [[[1000000000000, 1050000000000]], [[1050000000000, 1100000000000]], []],
      "seconds": 500000,
      "message": "Everything should be done in about 5d 18h 53m."})"));
  EXPECT_EQ(farm.Queue("alpha"), "pmin=1000000000000\npmax=1100000000000\n");
  EXPECT_EQ(farm.Queue("beta"), "");
}

TEST(CliRanges, EqualizeFixesOverlapsWhenToldTo) {
  Farm farm;
  farm.dir.write("beta/nextrange.txt", "pmin=1050000000000\npmax=1200000000000\n");
  const std::string attention =
      "Attention: The range 1050000000000-1100000000000 is assigned to more than one machine!\n";

  const CliRun asked = farm.Run({"equalize"});
  EXPECT_EQ(asked.code, 1);
  EXPECT_EQ(asked.out, "");
  EXPECT_EQ(asked.err, attention +
                           "Some of your ranges overlapped. Do you want me to fix it for you?\n"
                           "quillstrand-cli: nothing was written; --yes fixes them\n");
  EXPECT_EQ(farm.Queue("beta"), "pmin=1050000000000\npmax=1200000000000\n");

  const CliRun fixed = farm.Run({"equalize", "--yes", "--json"});
  EXPECT_EQ(fixed.code, 0) << fixed.err;
  EXPECT_EQ(fixed.err, attention);
  const Json outcome = Json::parse(fixed.out);
  EXPECT_EQ(outcome["overlaps"], Json::parse("[[1050000000000, 1100000000000]]"));
  EXPECT_EQ(outcome["seconds"], 1'000'000);
  EXPECT_EQ(farm.Queue("alpha"), "pmin=1000000000000\npmax=1100000000000\n");
  EXPECT_EQ(farm.Queue("beta"), "pmin=1100000000000\npmax=1200000000000\n");
}

TEST(CliRanges, EqualizeStopsBeforeChangingAnything) {
  struct Case {
    const char* name;
    std::function<void(Farm&)> arrange;
    std::string err;
  };
  const std::array cases{
      Case{"no speed",
           [](Farm& farm) {
             farm.dir.write("alpha/QsvStatus.dat", Farm::Sieving(0));
             farm.dir.write("beta/QsvStatus.dat", Farm::Sieving(0));
           },
           "I need information about the machines' speed to attempt this. Please let them "
           "sieve for a while and try again later.\n"},
      Case{"a queue file that cannot be read",
           [](Farm& farm) {
             std::filesystem::create_directory(farm.dir.file("beta/nextrange.txt"));
           },
           "Is a directory\nquillstrand-cli: nothing was equalized\n"},
      Case{"a queue file whose last line is being written",
           [](Farm& farm) { farm.dir.write("beta/nextrange.txt", "pmin=1200000000000\npmax=12"); },
           "/beta/nextrange.txt: its last line has no line end yet; nothing was written\n"},
  };
  for (const auto& [name, arrange, err] : cases) {
    SCOPED_TRACE(name);
    Farm farm;
    arrange(farm);
    const CliRun run = farm.Run({"equalize", "--yes", "--json"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.ends_with(err)) << run.err;
    EXPECT_EQ(farm.Queue("alpha"), "pmin=1000000000000\npmax=1100000000000\n");
  }
}

// A change of the queues that was cut short after it was recorded is
// finished before a command reads the farm.
TEST(CliRanges, AQueueChangeCutShortIsFinishedBeforeTheFarmIsRead) {
  Farm farm;
  const Range whole{1000000000000, 1100000000000};
  const Range low{1000000000000, 1050000000000}, high{1050000000000, 1100000000000};
  int steps = 0;
  const auto stopAfterTheRecord = [&] {
    if (++steps == 3) throw std::runtime_error("killed");
  };
  EXPECT_THROW((void)WriteEditedQueues(QueueIntentPath(farm.dir.file("quillstrand.ini")),
                                       {{farm.dir.file("alpha/nextrange.txt"), {whole}, {low}},
                                        {farm.dir.file("beta/nextrange.txt"), {}, {high}}},
                                       stopAfterTheRecord),
               std::runtime_error);
  EXPECT_EQ(farm.Queue("alpha"), "pmin=1000000000000\npmax=1100000000000\n");

  const CliRun run = farm.Run({"ranges", "--json"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(
      Json::parse(run.out)["queues"],
      Json::parse("[[[1000000000000, 1050000000000]], [[1050000000000, 1100000000000]], []]"));
}

// The queues are written as one change: when one file cannot be, none is,
// and the file is named with the reason.
TEST(CliRanges, EqualizeWritesNoQueueWhenOneCannotBeWritten) {
  Farm farm;
  const std::string staged = farm.dir.file("beta/nextrange.txt.new");
  std::filesystem::create_directory(staged);
  const CliRun run = farm.Run({"equalize"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "quillstrand-cli: " + staged + ": not a regular file\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(farm.Queue("alpha"), "pmin=1000000000000\npmax=1100000000000\n");
  EXPECT_FALSE(std::filesystem::exists(farm.dir.file("beta/nextrange.txt")));
}

}  // namespace
