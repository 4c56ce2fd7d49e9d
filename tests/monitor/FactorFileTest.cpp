#include <gtest/gtest.h>

#include <sys/stat.h>
#include <array>

#include <cerrno>
#include <filesystem>
#include <string>

#include "ReadingPrinters.h"
#include "monitor/FactorFile.h"
#include "submit/NewFactorActions.h"
#include "support/FakeFetcher.h"
#include "support/TempDir.h"

namespace {

TEST(ParseLeadingP, ReadsTheLeadingNumberAndNoneWhenItIsTooLarge) {
  struct Case {
    std::string text;
    std::optional<uint64_t> p;
  };
  const std::array cases{
      Case{"101 | 3*2^101+1", 101},
      Case{"7", 7},
      Case{"123abc", 123},
      Case{"18446744073709551615 | x", UINT64_MAX},
      Case{"18446744073709551616 | x", std::nullopt},
      Case{std::string(10'000, '9') + " | x", std::nullopt},
      Case{"", std::nullopt},
      Case{"# 101", std::nullopt},
  };
  for (const auto& [text, p] : cases) {
    SCOPED_TRACE(text.substr(0, 40));
    EXPECT_EQ(ParseLeadingP(text), p);
  }
}

// Factor lines are those that start with 1 to 9; the others are noise.
constexpr std::string_view kFactorFile =
    "# sieved 100-400\n"
    "101 | 3*2^101+1\n"
    "0 | not a factor\n"
    " 205 | not a factor either\n"
    "\n"
    "205 | 3*2^205+1\n"
    "307 | 3*2^307+1\n";

constexpr std::string_view kEarlier = "earlier | other machine\r\n";

struct Scan {
  FactorReading reading;
  std::string newText;
};

Scan ScanAfterEarlier(std::string_view text, uint64_t lastOldFactor) {
  Scan scan{{}, std::string(kEarlier)};
  scan.reading = ScanFactorFile(text, lastOldFactor, 0, UINT64_MAX, scan.newText, nullptr);
  return scan;
}

TEST(ScanFactorFile, AppendsTheLinesAfterTheOldMarkOrAllWithoutOne) {
  struct Case {
    std::string_view text;
    uint64_t lastOldFactor;
    std::string_view appended;
    int32_t newCount;
    std::optional<uint64_t> mark;
  };
  const std::array cases{
      // No line with the old mark: every factor line is new.
      Case{kFactorFile, 0, "101 | 3*2^101+1\r\n205 | 3*2^205+1\r\n307 | 3*2^307+1\r\n", 3, 307},
      Case{kFactorFile, 999, "101 | 3*2^101+1\r\n205 | 3*2^205+1\r\n307 | 3*2^307+1\r\n", 3, 307},
      // The lines after the old mark's line are new, whatever their p.
      Case{kFactorFile, 205, "307 | 3*2^307+1\r\n", 1, 307},
      Case{kFactorFile, 101, "205 | 3*2^205+1\r\n307 | 3*2^307+1\r\n", 2, 307},
      Case{"300 | a\n100 | b\n50 | c\n", 300, "100 | b\r\n50 | c\r\n", 2, 50},
      // A file that ends with the old mark has nothing new and no mark.
      Case{kFactorFile, 307, "", 0, std::nullopt},
      // Lines with the old mark after the first are never new.
      Case{"101 | a\n205 | b\n101 | c\n307 | d\n", 101, "205 | b\r\n307 | d\r\n", 2, 307},
      Case{"101 | a\n205 | b\n101 | c\n", 101, "", 0, std::nullopt},
      // Duplicates stay.
      Case{"101 | a\n101 | a\n", 0, "101 | a\r\n101 | a\r\n", 2, 101},
      // No factor line: nothing to mark.
      Case{"# nothing yet\n0 | zero\n", 0, "", 0, std::nullopt},
      Case{"", 0, "", 0, std::nullopt},
      Case{"123abc and more\n", 0, "123abc and more\r\n", 1, 123},
      // A last line without its end is still being written: no factor yet.
      Case{"101 | a\n205 | b\n10000008", 0, "101 | a\r\n205 | b\r\n", 2, 205},
      Case{"101 | a\n205 | b\n10000008", 205, "", 0, std::nullopt},
      Case{"101 | a\r205 | b\r3", 101, "205 | b\r\n", 1, 205},
      Case{"101 | a", 0, "", 0, std::nullopt},
      // A p too large for 64 bits is no mark: its line goes with the line
      // before it, so that two such lines never stand for each other.
      Case{"101 | a\n18446744073709551616 | b\n", 0, "101 | a\r\n18446744073709551616 | b\r\n", 2,
           101},
      Case{"101 | a\n18446744073709551616 | b\n", 101, "", 0, std::nullopt},
      Case{"18446744073709551616 | b\n101 | a\n", 101, "", 0, std::nullopt},
      Case{"18446744073709551616 | b\n", 0, "", 0, std::nullopt},
      Case{"99999999999999999999 | a\n300 | b\n99999999999999999999 | c\n400 | d\n", 300,
           "400 | d\r\n", 1, 400},
      Case{"101 | a\n99999999999999999999 | b\n205 | c\n99999999999999999999 | d\n", 101,
           "205 | c\r\n99999999999999999999 | d\r\n", 2, 205},
  };
  TempDir dir;
  const FakeFetcher fetcher;
  for (const auto& [text, lastOldFactor, appended, newCount, mark] : cases) {
    SCOPED_TRACE(::testing::Message()
                 << ::testing::PrintToString(std::string(text)) << " after " << lastOldFactor);
    const Scan scan = ScanAfterEarlier(text, lastOldFactor);
    EXPECT_EQ(scan.newText, std::string(kEarlier) + std::string(appended));
    EXPECT_EQ(scan.reading.NewCount, newCount);
    EXPECT_EQ(scan.reading.Mark, mark);

    // Read in blocks from a file, on a reading thread's way, the same.
    const Result<FactorScan> ahead = ScanFactorFileAhead(
        FactorSource::Open(dir.write("fact.txt", text), fetcher), lastOldFactor, 0, UINT64_MAX);
    ASSERT_TRUE(ahead) << ahead.error().message;
    EXPECT_EQ(ahead.value().newText, appended);
    EXPECT_EQ(ahead.value().reading, scan.reading);
  }
}

TEST(ScanFactorFile, GivesTheSamePanesForEveryKindOfLineEnd) {
  const std::array texts{
      "101 | a\n# x\n205 | b\n307 | c\n",
      "101 | a\r\n# x\r\n205 | b\r\n307 | c\r\n",
      "101 | a\r# x\r205 | b\r307 | c\r",
      "101 | a\r\n# x\n205 | b\r307 | c\r\n401",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    std::string newText, allText;
    const FactorReading reading = ScanFactorFile(text, 101, 0, 250, newText, &allText);
    EXPECT_EQ(reading, (FactorReading{3, 2, 2, 307}));
    EXPECT_EQ(newText, "205 | b\r\n307 | c\r\n");
    EXPECT_EQ(allText, "101 | a\r\n205 | b\r\n307 | c\r\n");
  }
}

TEST(ScanFactorFile, CountsTheFactorsInsideTheRangeBoundsIncluded) {
  struct Case {
    uint64_t rangeStart;
    uint64_t pmax;
    int32_t inRange;
  };
  const std::array cases{
      Case{200, 300, 2},
      Case{0, 0, 0},  // no status file read
      Case{0, UINT64_MAX, 4},
      Case{300, 200, 0},
  };
  for (const auto& [rangeStart, pmax, inRange] : cases) {
    SCOPED_TRACE(::testing::Message() << rangeStart << "-" << pmax);
    std::string newText;
    const FactorReading reading =
        ScanFactorFile("199\n200\n300\n301\n", 0, rangeStart, pmax, newText, nullptr);
    EXPECT_EQ(reading.TotalFactors, 4);
    EXPECT_EQ(reading.RangeFactors, inRange);
  }
}

TEST(ScanFactorFile, AppendsEveryFactorLineToTheAllText) {
  std::string newText, allText = "kept\r\n";
  ScanFactorFile(kFactorFile, 307, 0, UINT64_MAX, newText, &allText);
  EXPECT_EQ(allText, "kept\r\n101 | 3*2^101+1\r\n205 | 3*2^205+1\r\n307 | 3*2^307+1\r\n");
}

class ApplyFactorFileTest : public ::testing::Test {
 protected:
  Model model;

  void SetUp() override {
    model.Machines.emplace_back("a", "", "", 0);
    model.Machines.emplace_back("b", "", "", 205);
    model.NewFactorsText = PaneText("earlier\r\n");
    model.NewFactorCount = 1;
    model.Marks = {{7, 70}};
  }
};

TEST_F(ApplyFactorFileTest, AppendsMachinesInTheOrderTheyAreRead) {
  ApplyFactorFile(model, 0, LocationText(std::string("101 | a\n205 | b\n")), false);
  ApplyFactorFile(model, 1, LocationText(std::string(kFactorFile)), true);
  EXPECT_EQ(model.NewFactorsText, "earlier\r\n101 | a\r\n205 | b\r\n307 | 3*2^307+1\r\n");
  EXPECT_EQ(model.NewFactorCount, 4);
  EXPECT_EQ(model.Marks, (NewFactorMarks{{7, 70}, {0, 205}, {1, 307}}));
  EXPECT_EQ(model.AllFactorsText, "101 | 3*2^101+1\r\n205 | 3*2^205+1\r\n307 | 3*2^307+1\r\n");
  EXPECT_EQ(model.Machines[1].TotalFactors, 3);
}

TEST_F(ApplyFactorFileTest, ChangesNothingButTheCountsAndTheErrorWhenTheFileCouldNotBeRead) {
  Machine& machine = model.Machines[0];
  machine.TotalFactors = 5;
  machine.RangeFactors = 4;
  ApplyFactorFile(model, 0, LocationText(Error{"http://m/fact.txt: timed out", ETIMEDOUT}), true);
  EXPECT_EQ(machine.TotalFactors, 0);
  EXPECT_EQ(machine.RangeFactors, 0);
  EXPECT_EQ(machine.FactorError, "http://m/fact.txt: timed out");
  EXPECT_EQ(model.NewFactorsText, "earlier\r\n");
  EXPECT_EQ(model.AllFactorsText, "");
  EXPECT_EQ(model.NewFactorCount, 1);
  EXPECT_EQ(model.Marks, (NewFactorMarks{{7, 70}}));

  ApplyFactorFile(model, 0, LocationText(std::string("")), false);
  EXPECT_EQ(machine.FactorError, "");
}

TEST_F(ApplyFactorFileTest, StopsTheNewFactorCountAtTheLargest32BitValue) {
  model.NewFactorCount = INT32_MAX - 1;
  ApplyFactorFile(model, 0, LocationText(std::string("1\n2\n3\n")), false);
  EXPECT_EQ(model.NewFactorCount, INT32_MAX);
}

// A p too large for 64 bits still makes a factor line, shown and counted,
// and marking it as old must hold on the next reading.
TEST(ReadFactorFile, MarksAFactorWithAHugeLeadingNumberAsOld) {
  TempDir dir;
  const std::string huge = std::string(10'000, '7') + " | 3*2^9+1";
  FakeFetcher fetcher;
  Model model;
  model.Machines.emplace_back("m", dir.write("fact.txt", "101 | a\n" + huge + "\n"), "", 0);

  ReadFactorFile(model, 0, false, fetcher);
  EXPECT_EQ(model.Machines[0].TotalFactors, 2);
  EXPECT_EQ(model.NewFactorsText, "101 | a\r\n" + huge + "\r\n");
  EXPECT_EQ(model.Marks, (NewFactorMarks{{0, 101}}));

  ASSERT_TRUE(MarkNewFactorsAsOld(model, dir.file("quillstrand.ini")).ok());
  ReadFactorFile(model, 0, false, fetcher);
  EXPECT_EQ(model.NewFactorsText, "");
  EXPECT_EQ(model.NewFactorCount, 0);
  EXPECT_TRUE(model.Marks.empty());
}

// A client appends a factor while the file is read and marked as old,
// caught at every byte of its line: the part written so far is never a
// factor, never a mark, and once the line is whole it is the one new
// factor, whatever kind of line end the file has.
TEST(ReadFactorFile, NeverMarksALineStillBeingWritten) {
  for (const std::string_view lineEnd : {"\n", "\r\n", "\r"}) {
    const std::string written = "101 | a" + std::string(lineEnd) + "205 | b" + std::string(lineEnd);
    const std::string appended = "10000008 | 3*2^8+1" + std::string(lineEnd);
    for (size_t cut = 0; cut <= appended.size(); ++cut) {
      SCOPED_TRACE(::testing::Message()
                   << ::testing::PrintToString(std::string(lineEnd)) << " cut after " << cut);
      TempDir dir;
      const FakeFetcher fetcher;
      Model model;
      const std::string path = dir.write("fact.txt", written + appended.substr(0, cut));
      model.Machines.emplace_back("m", path, "", 0);
      ReadFactorFile(model, 0, false, fetcher);
      ASSERT_TRUE(MarkNewFactorsAsOld(model, dir.file("quillstrand.ini")).ok());
      const bool lineWhole = cut >= appended.size() - lineEnd.size() + 1;
      EXPECT_EQ(model.Machines[0].LastOldFactor, lineWhole ? 10000008u : 205u);

      dir.write("fact.txt", written + appended);
      ReadFactorFile(model, 0, false, fetcher);
      EXPECT_EQ(model.NewFactorsText, lineWhole ? "" : "10000008 | 3*2^8+1\r\n");
      EXPECT_EQ(model.NewFactorCount, lineWhole ? 0 : 1);
    }
  }
}

// The same file gives the same panes on disk and served over http.
TEST(ReadFactorFile, GivesTheSamePanesFromAFileAndFromHttp) {
  constexpr std::string_view kCrLfFile = "101 | a\r\n205 | b\r\n307 | c\r\n";
  TempDir dir;
  FakeFetcher fetcher;
  fetcher.bodies["http://m/fact.txt"] = kCrLfFile;
  Model model;
  model.Machines.emplace_back("disk", dir.write("fact.txt", kCrLfFile), "", 101);
  model.Machines.emplace_back("http", "http://m/fact.txt", "", 101);
  ReadFactorFile(model, 0, true, fetcher);
  ReadFactorFile(model, 1, true, fetcher);
  EXPECT_EQ(model.NewFactorsText, "205 | b\r\n307 | c\r\n205 | b\r\n307 | c\r\n");
  EXPECT_EQ(model.AllFactorsText,
            "101 | a\r\n205 | b\r\n307 | c\r\n101 | a\r\n205 | b\r\n307 | c\r\n");
  EXPECT_EQ(model.Marks, (NewFactorMarks{{0, 307}, {1, 307}}));
}

}  // namespace

namespace {

// Nothing at a factor location may hang, crash or exhaust the reading.
TEST(ReadFactorFile, RefusesWhatIsNoFactorFileWithTheReason) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string huge = dir.write("huge", "");
  std::filesystem::resize_file(huge, uint64_t{5} << 30);  // sparse: it takes no room
  struct Case {
    std::string path, reason;
  };
  const std::array cases{
      Case{fifo, "not a regular file"},
      Case{"/dev/zero", "not a regular file"},
      Case{huge, "larger than 4 GiB"},
      Case{dir.path().string(), "Is a directory"},
  };
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    Model model;
    model.Machines.emplace_back("m", path, "", 0);
    model.NewFactorsText = PaneText("earlier\r\n");
    ReadFactorFile(model, 0, true, FakeFetcher());
    EXPECT_NE(model.Machines[0].FactorError.find(reason), std::string::npos)
        << model.Machines[0].FactorError;
    EXPECT_EQ(model.NewFactorsText, "earlier\r\n");
    EXPECT_EQ(model.AllFactorsText, "");
    EXPECT_TRUE(model.Marks.empty());
  }
}

}  // namespace
