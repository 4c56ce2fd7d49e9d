#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>

#include "ranges/QueueFile.h"
#include "support/TempDir.h"

namespace {

TEST(RangeFilePath, PutsTheFileInTheFolderOfTheStatusFile) {
  struct Case {
    std::string_view statusPath;
    std::optional<std::string> path;
  };
  const std::array cases{
      Case{R"(C:\Sieve\QsvStatus.dat)", R"(C:\Sieve\nextrange.txt)"},
      Case{R"(\\server\share\f\QsvStatus.dat)", R"(\\server\share\f\nextrange.txt)"},
      Case{"/srv/m1/QsvStatus.dat", "/srv/m1/nextrange.txt"},
      Case{"/QsvStatus.dat", "/nextrange.txt"},
      Case{R"(/srv/a\b/QsvStatus.dat)", "/srv/a\\b/nextrange.txt"},
      Case{R"(/srv/a/b\QsvStatus.dat)", "/srv/a/b\\nextrange.txt"},
      Case{"QsvStatus.dat", "nextrange.txt"},
      Case{"https://m1/QsvStatus.dat", "https://m1/nextrange.txt"},  // a file name
      Case{"http://m1/QsvStatus.dat", std::nullopt},
      Case{"", std::nullopt},
  };
  for (const auto& [statusPath, path] : cases) {
    SCOPED_TRACE(statusPath);
    EXPECT_EQ(RangeFilePath(statusPath), path);
  }
}

TEST(ParseQueuedRanges, PairsNonZeroBoundsInFileOrder) {
  struct Case {
    std::string_view text;
    std::vector<Range> ranges;
  };
  const std::array cases{
      Case{"pmin=1500000000000\npmax=1510000000000\npmin=1600000000000\npmax=1610000000000\n",
           {{1500000000000, 1510000000000}, {1600000000000, 1610000000000}}},
      Case{"pmin=15\r\npmax=20\r\n", {{15, 20}}},
      Case{"pmin=15\rpmax=20\r", {{15, 20}}},
      // A last line without its end is still being written.
      Case{"pmin=15\npmax=20", {}},
      Case{"pmin=15\npmax=2", {}},
      Case{"pmin=10\npmax=20\npmin=30\npmax=4", {{10, 20}}},
      Case{"pmax=20\npmin=15\n", {{15, 20}}},
      Case{"pmin=0\npmax=20\n", {}},
      Case{"pmin=0\npmax=20\npmin=15\n", {{15, 20}}},
      Case{"pmin=10\npmin=15\npmax=20\n", {{15, 20}}},
      Case{"pmin=10\npmin=0\npmax=20\n", {}},  // a read 0 empties the bound
      Case{"pmin=10\npmin=abc\npmax=20\n", {{10, 20}}},
      Case{"pmin=10\npmin=18446744073709551616\npmax=20\n", {{10, 20}}},
      Case{"pmin=18446744073709551615\npmax=1\n", {{UINT64_MAX, 1}}},  // not compared
      Case{"PMIN=10\n pmin=11\npmin 12\npmin=13\npmax=20\n", {{13, 20}}},
      Case{"pmin=  \t10 G\npmax= 20xyz\n", {{10, 20}}},
      Case{"pmin=10\npmax=20\npmin=30\n", {{10, 20}}},
      Case{"# queue\n\npmin=10\nnote\npmax=20\n", {{10, 20}}},
      Case{"", {}},
  };
  for (const auto& [text, ranges] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    EXPECT_EQ(ParseQueuedRanges(text), ranges);
  }
}

TEST(FormatQueuedRanges, WritesOnlyRangesWithBoundsInOrder) {
  const std::vector<Range> queue{
      {1500000000000, 1510000000000}, {0, 0}, {0, 5}, {7, 7}, {9, 8}, {1, UINT64_MAX}};
  EXPECT_EQ(FormatQueuedRanges(queue),
            "pmin=1500000000000\npmax=1510000000000\npmin=1\npmax=18446744073709551615\n");
  EXPECT_EQ(FormatQueuedRanges({}), "");
}

TEST(FormatQueuedRanges, GivesTextThatReadsBackAsTheSameQueue) {
  const std::vector<Range> queue{
      {1, 2}, {UINT64_MAX - 1, UINT64_MAX}, {1500000000000, 1510000000000}};
  EXPECT_EQ(ParseQueuedRanges(FormatQueuedRanges(queue)), queue);
}

TEST(ApplyQueueFile, TakesAMissingFileForAnEmptyQueue) {
  struct Case {
    Result<std::string> file;
    std::vector<Range> queue;
    std::string_view error;
  };
  const std::array cases{
      Case{std::string("pmin=1\npmax=2\n"), {{1, 2}}, ""},
      Case{Error{"/m/nextrange.txt: No such file or directory", ENOENT}, {}, ""},
      Case{Error{"/m/nextrange.txt: Not a directory", ENOTDIR}, {}, ""},
      Case{Error{"/m/nextrange.txt: Is a directory", EISDIR},
           {},
           "/m/nextrange.txt: Is a directory"},
      Case{Error{"/m/nextrange.txt: Input/output error", EIO},
           {},
           "/m/nextrange.txt: Input/output error"},
  };
  for (const auto& [file, queue, error] : cases) {
    SCOPED_TRACE(file ? file.value() : file.error().message);
    Machine machine;
    machine.QueuedRanges = {{5, 6}};
    machine.QueueError = "old error";
    ApplyQueueFile(machine, file);
    EXPECT_EQ(machine.QueuedRanges, queue);
    EXPECT_EQ(machine.QueueError, error);
  }
}

class QueueFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  Model model;

  Machine& AddMachine(std::string statusPath) {
    model.Machines.emplace_back("m", "", std::move(statusPath), 0);
    model.Machines.back().QueuedRanges = {{10, 20}, {30, 30}, {40, 50}};
    return model.Machines.back();
  }

  // Everything in the folder, to see that no temporary file is left.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(QueueFileTest, ReadsTheFileBesideTheStatusFile) {
  dir.write("nextrange.txt", "pmin=1\npmax=2\n");
  Machine& machine = AddMachine(dir.file("QsvStatus.dat"));
  ReadQueuedRanges(model, 0);
  EXPECT_EQ(machine.QueuedRanges, (std::vector<Range>{{1, 2}}));
  EXPECT_EQ(machine.QueueError, "");
}

TEST_F(QueueFileTest, SaysWhyAFileThatExistsCannotBeRead) {
  std::filesystem::create_directory(dir.file("nextrange.txt"));
  Machine& machine = AddMachine(dir.file("QsvStatus.dat"));
  ReadQueuedRanges(model, 0);
  EXPECT_TRUE(machine.QueuedRanges.empty());
  EXPECT_EQ(machine.QueueError, dir.file("nextrange.txt") + ": Is a directory");
}

TEST_F(QueueFileTest, GivesAMachineWithoutAFileFolderAnEmptyQueue) {
  for (const char* statusPath : {"http://m1/QsvStatus.dat", ""}) {
    SCOPED_TRACE(statusPath);
    model.Machines.clear();
    Machine& machine = AddMachine(statusPath);
    ReadQueuedRanges(model, 0);
    EXPECT_TRUE(machine.QueuedRanges.empty());
    EXPECT_EQ(machine.QueueError, "");
  }
  EXPECT_TRUE(Names().empty());
}

}  // namespace
