#include <gtest/gtest.h>

#include "model/SettingsFile.h"
#include "submit/NewFactorActions.h"
#include "support/TempDir.h"

namespace {

Model ModelWithNewFactors() {
  Model model;
  model.Machines = {Machine("a", "", "", 10), Machine("b", "", "", 20), Machine("c", "", "", 30)};
  model.Marks = {{0, 101}, {2, 307}};
  model.NewFactorsText = "101 x\r\n307 y\r\n";
  model.NewFactorCount = 2;
  model.AllFactorsText = "all\r\n";
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
  const Status marked = MarkNewFactorsAsOld(model, dir.write("file", "") + "/quillstrand.ini");
  ASSERT_FALSE(marked);
  EXPECT_NE(marked.error().message.find("Not a directory"), std::string::npos);
  EXPECT_EQ(model.Machines[0].LastOldFactor, 101u);
  EXPECT_TRUE(model.Marks.empty());
}

}  // namespace
