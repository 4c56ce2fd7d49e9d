#include <gtest/gtest.h>

#include <array>

#include "monitor/MachineRow.h"

namespace {

TEST(MachineRowTexts, ShowsEveryColumn) {
  Machine working("alpha", "", "", 0);
  working.TotalFactors = 12;
  working.RangeFactors = 5;
  working.RangeStart = 1000000000000;
  working.Pmax = 1010000000000;
  working.CurrentP = 1001000000000;
  working.Speed = 1000;
  working.QueuedRanges = {{1010000000000, 1020000000000}, {5, 6}};

  Machine done = working;
  done.CurrentP = done.Pmax;
  done.Done = true;

  Machine unread("", "", "", 0);

  struct Case {
    const Machine& machine;
    MachineRow row;
  };
  const std::array cases{
      Case{working,
           {"alpha", "12", "1000000000000", "1010000000000", "1001000000000", "10", "1000 kp/s",
            "0d 2h 30m", "5", "5/G", "1010-1020"}},
      Case{done,
           {"alpha", "12", "1000000000000", "1010000000000", "Done", "100", "1000 kp/s", "0d 0h 0m",
            "5", "0.5/G", "1010-1020"}},
      Case{unread, {"", "0", "0", "0", "0", "0", "0 kp/s", "Big Crunch", "0", "0/G", ""}},
  };
  for (const auto& [machine, row] : cases) {
    SCOPED_TRACE(row[4]);
    EXPECT_EQ(MachineRowTexts(machine), row);
  }
}

TEST(UnreadFiles, NamesEachFileThatWasNotReadInReadingOrder) {
  Machine machine("m", "", "", 0);
  EXPECT_TRUE(UnreadFiles(machine).empty());
  machine.FactorError = "/m/fact.txt: No such file or directory";
  machine.StatusError = "http://m/QsvStatus.dat: Connection refused";
  EXPECT_EQ(UnreadFiles(machine),
            (std::vector<std::string>{"status file: http://m/QsvStatus.dat: Connection refused",
                                      "factor file: /m/fact.txt: No such file or directory"}));
}

}  // namespace
