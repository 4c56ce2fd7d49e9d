#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <random>

#include "ReadingPrinters.h"
#include "monitor/StatusFile.h"
#include "support/FakeFetcher.h"
#include "support/ReadStatusFile.h"
#include "support/TempDir.h"

namespace {

TEST(ParseStatusFile, ReadsRangePositionSpeedAndDone) {
  struct Case {
    std::string_view text;
    uint32_t intervals;
    StatusReading reading;  // Pmax, RangeStart, CurrentP, Speed, Done
  };
  const std::array cases{
      Case{"pmax=200\npmin=100 : 40 kp/s\npmin=110 : 60 kp/s\n", 5, {200, 100, 110, 50, false}},
      Case{"pmax=200\npmin=100 : 40 kp/s\npmin=110 : 60 kp/s\n", 1, {200, 100, 110, 60, false}},
      Case{"pmax=200\r\npmin=100 : 40 kp/s\r\npmin=110 : 60 kp/s\r\n", 5, {200, 100, 110, 50}},
      Case{"pmax=200\rpmin=100 : 40\rpmin=110 : 60\r", 5, {200, 100, 110, 50}},
      Case{"pmax=200\npmin=100:40\npmin=110:60\n", 5, {200, 100, 110, 50}},
      // A last line without its end is still being written: it is no line yet.
      Case{"pmax=200\npmin=100:40\npmin=110:60", 5, {200, 100, 100, 40}},
      Case{"pmax=200\npmin=100 : 40\npmin=110 : 6", 5, {200, 100, 100, 40}},
      Case{"pmax=200\npmin=100 : 40\npmax=2", 5, {200, 100, 100, 40}},
      Case{"pmax=200\rpmin=150 : 40\rDone", 5, {200, 150, 150, 40, false}},
      Case{"pmax=200", 5, {}},
      // A "pmax" line starts a new range, but earlier samples still count.
      Case{"pmin=90 : 10\npmax=200\npmin=100 : 40\n", 2, {200, 100, 100, 25}},
      Case{"pmin=100 : 40\npmin=150 : 20\n", 5, {0, 100, 150, 30}},
      Case{"pmax=200\npmin=150 : 40\nDone\n", 5, {200, 150, 200, 40, true}},
      // Once done, always done; later lines still move the position.
      Case{"pmax=200\nDone\npmin=150 : 40\n", 5, {200, 150, 150, 40, true}},
      Case{"Done\n", 5, {0, 0, 0, 0, true}},
      // Keys are the first four bytes, exactly; the fifth is not looked at.
      Case{"PMAX=200\n pmax=200\nPmin=5 : 5\npmi=5 : 5\n", 5, {}},
      Case{"pmaxX200\n", 5, {200, 0, 0, 0}},
      Case{"pmin 100 : 40\n", 5, {0, 100, 100, 40}},
      Case{"Done and dusted\n", 5, {0, 0, 0, 0, true}},
      // A "pmax" whose value cannot be read keeps the bound, still resets
      // the range start.
      Case{"pmax=150\npmin=100 : 5\npmax=abc\n", 5, {150, 0, 100, 5}},
      Case{"pmax=150\npmin=100 : 5\npmax\n", 5, {150, 0, 100, 5}},
      Case{"pmax=150\npmin=100 : 5\npmax=\n", 5, {150, 0, 100, 5}},
      // An unreadable item stops the line; the line is still a sample.
      Case{"pmin=100\npmin=110 : 60\n", 2, {0, 100, 110, 30}},
      Case{"pmin=100 : 40\npmin\n", 5, {0, 100, 100, 20}},
      Case{"pmin=50 : 10\npmin=abc : 30\n", 5, {0, 50, 50, 5}},
      Case{"pmin=50 : 10\npmin=-60 : 30\n", 5, {0, 50, 50, 5}},
      Case{"pmin=50 : 10\npmin=+60 : 30\n", 5, {0, 50, 50, 5}},
      Case{"pmin=100 :\n", 5, {0, 100, 100, 0}},
      Case{"pmin=100 : x\n", 5, {0, 100, 100, 0}},
      // The slot of a sample without a rate keeps the rate of N lines before.
      Case{"pmin=1 : 10\npmin=2 : 20\npmin=3\n", 2, {0, 1, 3, 15}},
      // Any one non-blank character separates, digits included.
      Case{"pmin=100,40\n", 5, {0, 100, 100, 40}},
      Case{"pmin=  100 \t x  40kp/s\n", 5, {0, 100, 100, 40}},
      Case{"pmin=100 40\n", 5, {0, 100, 100, 0}},
      Case{"pmin=100 9 40\n", 5, {0, 100, 100, 40}},
      // Numbers too large for their type cannot be read.
      Case{"pmin=18446744073709551615 : 4294967295\n", 5, {0, UINT64_MAX, UINT64_MAX, 4294967295u}},
      Case{"pmin=100 : 4294967296\n", 5, {0, 100, 100, 0}},
      Case{"pmin=5 : 7\npmin=18446744073709551616 : 40\n", 5, {0, 5, 5, 3}},
      Case{"pmax=18446744073709551616\n", 5, {}},
      // The mean of 32-bit rates fits in 32 bits, though their sum does not.
      Case{"pmin=1 : 4294967295\npmin=2 : 3\n", 5, {0, 1, 2, 2147483649u}},
      Case{"pmin=1 : 4294967295\npmin=2 : 4294967295\n", 5, {0, 1, 2, 4294967295u}},
      Case{"", 5, {}},
      Case{"pmin=1 : 10\npmin=2 : 20\n", 0, {0, 1, 2, 20}},
  };
  for (const auto& [text, intervals, reading] : cases) {
    SCOPED_TRACE(::testing::Message()
                 << ::testing::PrintToString(std::string(text)) << " over " << intervals);
    EXPECT_EQ(ParseStatusFile(text, intervals), reading);
    EXPECT_EQ(ParseStatusFileLineByLine(text, intervals), reading);
  }
}

// ParseStatusFile looks only at the lines that decide the reading; on any
// file it must give what the rules give line by line.
TEST(ParseStatusFile, AgreesWithTheLineByLineReading) {
  std::mt19937 random(12345);
  const auto pick = [&](std::initializer_list<std::string_view> choices) {
    return std::string(choices.begin()[random() % choices.size()]);
  };
  const auto number = [&] {
    return random() % 4 == 0 ? pick({"", "0", "abc", "-5", "18446744073709551616", "4294967296"})
                             : std::to_string(random() % 1000);
  };
  const auto line = [&] {
    switch (random() % 6) {
      case 0:
        return pick({"pmax=", "pmax", "pmaxX"}) + number();
      case 1:
        return pick({"Done", "Done!"});
      case 2:
        return pick({"", "junk", " pmin=5 : 5", "PMAX=7"});
      default:
        return pick({"pmin=", "pmin", "pmin "}) + number() + pick({" : ", ":", " ", "", " x "}) +
               number() + pick({"", " kp/s"});
    }
  };
  for (int file = 0; file < 20000; ++file) {
    std::string text;
    for (int lines = random() % 12; lines > 0; --lines) text += line() + pick({"\n", "\r\n", "\r"});
    if (random() % 4 == 0) text += line();  // still being written
    for (const uint32_t n : {0u, 1u, 2u, 3u, 5u, 1000u}) {
      SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(text) << " over " << n);
      ASSERT_EQ(ParseStatusFile(text, n), ParseStatusFileLineByLine(text, n));
    }
  }
}

Machine StaleMachine() {
  Machine machine("m", "", "", 0);
  machine.Pmax = 9;
  machine.RangeStart = 8;
  machine.CurrentP = 7;
  machine.Speed = 6;
  machine.Done = true;
  machine.StatusError = "old error";
  return machine;
}

TEST(ApplyStatusReading, SetsEveryFieldOrResetsThemAndKeepsWhy) {
  struct Case {
    Result<StatusReading> reading;
    StatusReading fields;
    std::string error;
  };
  const std::array cases{
      Case{ParseStatusFile("pmin=100 : 40\n", 5), {0, 100, 100, 40, false}, ""},
      Case{Error{"/m/QsvStatus.dat: No such file", ENOENT}, {}, "/m/QsvStatus.dat: No such file"},
  };
  for (const auto& [reading, fields, error] : cases) {
    SCOPED_TRACE(error);
    Machine machine = StaleMachine();
    ApplyStatusReading(machine, reading);
    EXPECT_EQ((StatusReading{machine.Pmax, machine.RangeStart, machine.CurrentP, machine.Speed,
                             machine.Done}),
              fields);
    EXPECT_EQ(machine.StatusError, error);
  }
}

// The status file of a machine decides which of its factors are in range,
// so the queue and the factor file are read after it, whether it opened or not.
class ReadStatusFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  FakeFetcher fetcher;
  Model model;

  void SetUp() override {
    dir.write("nextrange.txt", "pmin=5000000000\npmax=6000000000\n");
    dir.write("fact.txt", "150 | a\n250 | b\n");
    model.Options.SpeedAvgIntervals = 5;
  }
};

TEST_F(ReadStatusFileTest, ReadsTheStatusFileThenTheQueueThenTheFactors) {
  model.Machines.emplace_back("m", dir.file("fact.txt"),
                              dir.write("QsvStatus.dat", "pmax=200\npmin=100 : 40\n"), 0);
  ReadStatusFile(model, 0, fetcher);
  const Machine& machine = model.Machines[0];
  EXPECT_EQ(machine.Pmax, 200u);
  EXPECT_EQ(machine.Speed, 40u);
  EXPECT_EQ(machine.QueuedRanges, (std::vector<Range>{{5000000000, 6000000000}}));
  EXPECT_EQ(machine.TotalFactors, 2);
  EXPECT_EQ(machine.RangeFactors, 1);
  EXPECT_EQ(model.NewFactorsText, "150 | a\r\n250 | b\r\n");
  EXPECT_EQ(model.AllFactorsText, "");
}

TEST_F(ReadStatusFileTest, ReadsTheQueueAndTheFactorsEvenWithoutAStatusFile) {
  model.Machines.emplace_back("m", dir.file("fact.txt"), dir.file("QsvStatus.dat"), 0);
  ReadStatusFile(model, 0, fetcher);
  const Machine& machine = model.Machines[0];
  EXPECT_EQ(machine.Pmax, 0u);
  EXPECT_NE(machine.StatusError, "");
  EXPECT_EQ(machine.QueuedRanges.size(), 1u);
  EXPECT_EQ(machine.TotalFactors, 2);
  EXPECT_EQ(machine.RangeFactors, 0);
}

// A range that starts above its end has no share done, no time left: the
// file cannot be read, and says why.
TEST_F(ReadStatusFileTest, RefusesARangeThatStartsAboveItsEnd) {
  const std::string path = dir.write("QsvStatus.dat", "pmax=20000\npmin=30000 : 40\n");
  model.Machines.emplace_back("m", dir.file("fact.txt"), path, 0);
  ReadStatusFile(model, 0, fetcher);
  const Machine& machine = model.Machines[0];
  EXPECT_EQ(machine.StatusError, path + ": pmin 30000 is above pmax 20000");
  EXPECT_EQ((StatusReading{machine.Pmax, machine.RangeStart, machine.CurrentP, machine.Speed}),
            StatusReading{});
  EXPECT_EQ(machine.TotalFactors, 2);
}

TEST_F(ReadStatusFileTest, ReadsHttpLocationsThroughTheFetcher) {
  fetcher.bodies["http://m1/QsvStatus.dat"] = "pmax=300\r\npmin=200 : 60\r\nDone\r\n";
  fetcher.bodies["http://m1/fact.txt"] = "250 | b\r\n";
  model.Machines.emplace_back("m", "http://m1/fact.txt", "http://m1/QsvStatus.dat", 0);
  ReadStatusFile(model, 0, fetcher);
  const Machine& machine = model.Machines[0];
  EXPECT_EQ(machine.CurrentP, 300u);
  EXPECT_TRUE(machine.Done);
  EXPECT_EQ(machine.Speed, 60u);
  EXPECT_TRUE(machine.QueuedRanges.empty());
  EXPECT_EQ(machine.RangeFactors, 1);
  EXPECT_EQ(model.NewFactorsText, "250 | b\r\n");
}

}  // namespace
