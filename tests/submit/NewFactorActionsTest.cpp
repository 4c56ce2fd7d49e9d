#include <gtest/gtest.h>

#include <array>
#include <string>

#include "model/SettingsFile.h"
#include "submit/NewFactorActions.h"
#include "support/TempDir.h"

namespace {

Model ModelWithNewFactors() {
  Model model;
  model.Machines = {Machine("a", "", "", 10), Machine("b", "", "", 20), Machine("c", "", "", 30)};
  model.Marks = {{0, 101}, {2, 307}};
  model.NewFactorsText = PaneText("101 x\r\n307 y\r\n");
  model.NewFactorCount = 2;
  model.AllFactorsText = PaneText("all\r\n");
  return model;
}

TEST(MarkNewFactorsAsOld, MovesEveryMarkedMachineAndSaves) {
  TempDir dir;
  const std::string path = dir.file("quillstrand.ini");
  Model model = ModelWithNewFactors();
  ASSERT_TRUE(MarkNewFactorsAsOld(model, path));

  EXPECT_EQ(model.Machines[0].LastOldFactor, 101u);
  EXPECT_EQ(model.Machines[1].LastOldFactor, 20u);
  EXPECT_EQ(model.Machines[2].LastOldFactor, 307u);
  EXPECT_TRUE(model.Marks.empty());
  EXPECT_EQ(model.NewFactorsText, "");
  EXPECT_EQ(model.NewFactorCount, 0);
  EXPECT_EQ(model.AllFactorsText, "all\r\n");

  Model saved;
  ASSERT_TRUE(LoadSettings(path, saved));
  ASSERT_EQ(saved.Machines.size(), 3u);
  EXPECT_EQ(saved.Machines[2].LastOldFactor, 307u);
}

TEST(MarkNewFactorsAsOld, FailedSaveStillMarks) {
  TempDir dir;
  Model model = ModelWithNewFactors();
  model.Marks.push_back({7, 999});  // a machine that is no longer there
  const Result<MarkNotes> marked =
      MarkNewFactorsAsOld(model, dir.write("file", "") + "/quillstrand.ini");
  ASSERT_FALSE(marked);
  EXPECT_NE(marked.error().message.find("Not a directory"), std::string::npos);
  EXPECT_EQ(model.Machines[0].LastOldFactor, 101u);
  EXPECT_TRUE(model.Marks.empty());
}

// The file as another process left it, and what one mark of machine 1
// (factor file "b.txt", from 20 to 25) does to it.
TEST(ApplyMoves, MovesAMachineOnlyWhileTheFileHoldsWhereItStarted) {
  struct Case {
    std::string name;
    MachineTable onDisk;
    uint64_t after;  // machine "b"'s LastOldFactor, wherever it is
    bool noted;
  };
  const Machine a("a", "a.txt", "", 10), c("c", "c.txt", "", 30);
  const std::array cases{
      Case{"as it was", {a, Machine("b", "b.txt", "", 20), c}, 25, false},
      Case{"marked already", {a, Machine("b", "b.txt", "", 25), c}, 25, false},
      Case{"marked otherwise", {a, Machine("b", "b.txt", "", 22), c}, 22, true},
      Case{"moved up a row", {Machine("b", "b.txt", "", 20), c}, 25, false},
      Case{"renamed", {a, Machine("B", "b.txt", "", 20)}, 25, false},
      Case{"gone", {a, c}, 0, true},
      Case{"another at its row", {a, c, Machine("b", "b.txt", "", 20)}, 25, false},
      Case{"two with its file", {Machine("b", "b.txt", "", 20), Machine("b", "b.txt", "", 20)}, 25,
           false},
  };
  const OldFactorMove move{1, "b", "b.txt", 20, 25};
  for (const auto& [name, onDisk, after, noted] : cases) {
    SCOPED_TRACE(name);
    MachineTable table = onDisk;
    const MarkNotes notes = ApplyMoves(table, {move});
    EXPECT_EQ(!notes.empty(), noted);
    uint64_t found = 0;
    for (size_t i = 0; i < table.size(); ++i) {
      if (table[i].FactorPath != "b.txt") {
        EXPECT_EQ(table[i].LastOldFactor, onDisk[i].LastOldFactor);  // others untouched
      } else if (found == 0 || i == 1) {
        found = table[i].LastOldFactor;  // the one at the mark's row wins a tie
      }
    }
    EXPECT_EQ(found, after);
  }
}

TEST(MarkNewFactorsAsOld, KeepsWhatAnotherProcessMarkedMeanwhile) {
  TempDir dir;
  const std::string path = dir.file("quillstrand.ini");
  Model model;
  model.Machines = {Machine("a", "a.txt", "", 10), Machine("b", "b.txt", "", 20)};
  ASSERT_TRUE(SaveSettings(path, model));
  // Another process marks machine 1 and adds a machine of its own.
  Model other = model;
  other.Machines[1].LastOldFactor = 22;
  other.Machines.push_back(Machine("c", "c.txt", "", 30));
  ASSERT_TRUE(SaveSettings(path, other));

  model.Marks = {{0, 15}, {1, 25}};
  model.NewFactorsText = PaneText("15 x\r\n25 y\r\n");
  model.NewFactorCount = 2;
  const Result<MarkNotes> marked = MarkNewFactorsAsOld(model, path);
  ASSERT_TRUE(marked);
  ASSERT_EQ(marked.value().size(), 1u);
  EXPECT_EQ(marked.value()[0],
            "machine 1 \"b\" was marked by another quillstrand meanwhile (LastOldFactor 22); that "
            "mark stays");
  EXPECT_EQ(model.Machines[0].LastOldFactor, 15u);
  EXPECT_EQ(model.Machines[1].LastOldFactor, 22u);  // as the file has it

  Model saved;
  ASSERT_TRUE(LoadSettings(path, saved));
  ASSERT_EQ(saved.Machines.size(), 3u);
  EXPECT_EQ(saved.Machines[0].LastOldFactor, 15u);
  EXPECT_EQ(saved.Machines[1].LastOldFactor, 22u);
  EXPECT_EQ(saved.Machines[2].LastOldFactor, 30u);
}

}  // namespace
