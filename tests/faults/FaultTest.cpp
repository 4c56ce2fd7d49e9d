// Failures made real: files that change, vanish or cannot be written while
// the program works on them. Each must end with the busy flags clear,
// nothing lost, and the reason where the user can see it.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "farm/Refresh.h"
#include "model/SettingsFile.h"
#include "ranges/QueueWrites.h"
#include "submit/NewFactorActions.h"
#include "support/FakeFetcher.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

void ExpectIdle(const Model& model) {
  EXPECT_FALSE(model.RefreshBusy);
  EXPECT_FALSE(model.SubmitBusy);
}

std::string StatusText(uint64_t pmax) {
  std::string text = "pmax=" + std::to_string(pmax) + "\n";
  for (int i = 0; i < 2000; ++i) text += "pmin=" + std::to_string(pmax - 2000 + i) + " : 50 kp/s\n";
  return text;
}

// The sieve client rewrites its status file all the time: in place, and by
// renaming a new file over it. Every refresh reads one whole version.
TEST(Faults, AStatusFileReplacedWhileItIsRead) {
  TempDir dir;
  const std::string status = dir.write("m/QsvStatus.dat", StatusText(1000000));
  Model model;
  model.Machines = {Machine("m", "", status, 0)};
  std::atomic<bool> stop = false;
  std::thread client([&] {
    for (uint64_t version = 1; !stop; ++version) {
      const uint64_t pmax = 1000000 * (version % 5 + 1);
      if (version % 2) {
        dir.write("m/QsvStatus.dat", StatusText(pmax));
      } else {
        dir.write("m/new", StatusText(pmax));
        fs::rename(dir.file("m/new"), status);
      }
    }
  });
  const FakeFetcher fetcher;
  int whole = 0;
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(RefreshAll(model, fetcher));
    ExpectIdle(model);
    const Machine& machine = model.Machines[0];
    EXPECT_EQ(machine.StatusError, "");
    // A file caught while it is rewritten in place reads as what it holds
    // then; a whole one as itself.
    if (machine.Pmax != 0 && machine.Pmax % 1000000 == 0) ++whole;
  }
  EXPECT_GT(whole, 0);
  stop = true;
  client.join();
}

TEST(Faults, SettingsThatCannotBeSavedKeepTheMarkingAndSayWhy) {
  TempDir dir;
  const std::string regularFile = dir.write("file", "x");
  for (const std::string& path : {std::string("/dev/full"), regularFile + "/quillstrand.ini"}) {
    SCOPED_TRACE(path);
    Model model;
    model.Machines = {Machine("m", "", "", 100)};
    model.Marks = {{0, 307}};
    model.NewFactorsText = PaneText("307 | x\r\n");
    model.NewFactorCount = 1;
    const Result<MarkNotes> marked = MarkNewFactorsAsOld(model, path);
    ASSERT_FALSE(marked);
    EXPECT_EQ(marked.error().message.find(path), 0u) << marked.error().message;
    ExpectIdle(model);
    EXPECT_EQ(model.Machines[0].LastOldFactor, 307u);  // in memory, for the next save

    const std::string good = dir.file("quillstrand.ini");
    ASSERT_TRUE(SaveSettings(good, model));
    Model saved;
    ASSERT_TRUE(LoadSettings(good, saved));
    EXPECT_EQ(saved.Machines.at(0).LastOldFactor, 307u);
  }
}

TEST(Faults, AQueueWhoseFolderVanishedIsNotWrittenAndSaysWhy) {
  TempDir dir;
  const std::string status = dir.write("m/QsvStatus.dat", "pmax=2\n");
  Model model;
  model.Machines = {Machine("m", "", status, 0)};
  fs::remove_all(dir.file("m"));

  const auto written =
      WriteEditedQueues(QueueIntentPath(dir.file("quillstrand.ini")),
                        {{dir.file("m/nextrange.txt"), {}, {{3000000000, 4000000000}}}});
  ASSERT_FALSE(written);
  EXPECT_NE(written.error().message.find(dir.file("m/nextrange.txt")), std::string::npos)
      << written.error().message;
  EXPECT_NE(written.error().message.find("No such file or directory"), std::string::npos)
      << written.error().message;
  EXPECT_FALSE(fs::exists(dir.file("m")));

  ASSERT_TRUE(RefreshAll(model, FakeFetcher()));
  ExpectIdle(model);
  EXPECT_NE(model.Machines[0].StatusError, "");
  EXPECT_EQ(model.Machines[0].QueueError, "");  // no folder, no queue: nothing is wrong with it
}

TEST(Faults, AFactorFileOfFiveMillionLines) {
  constexpr int kLines = 5'000'000;
  TempDir dir;
  std::string text;
  text.reserve(kLines * 20);
  for (int i = 1; i <= kLines; ++i) text += std::to_string(1000000000 + i) + " | 3*2^9+1\n";
  Model model;
  model.Machines = {Machine("big", dir.write("big/fact.txt", text), "", 1000000000 + kLines / 2),
                    Machine("small", dir.write("small/fact.txt", "77 | x\n"), "", 0)};
  text = {};

  ASSERT_TRUE(RefreshAll(model, FakeFetcher()));
  ExpectIdle(model);
  EXPECT_EQ(model.Machines[0].TotalFactors, kLines);
  EXPECT_EQ(model.NewFactorCount, kLines / 2 + 1);
  // Each machine's new factors are a part of their own: the small
  // machine's come after the big one's without a copy of those.
  const std::vector<PaneText::Part>& parts = model.NewFactorsText.parts();
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_TRUE(parts[0]->starts_with(std::to_string(1000000000 + kLines / 2 + 1) + " | "));
  EXPECT_TRUE(parts[0]->ends_with(std::to_string(1000000000 + kLines) + " | 3*2^9+1\r\n"));
  EXPECT_EQ(*parts[1], "77 | x\r\n");
  EXPECT_EQ(model.Marks, (NewFactorMarks{{0, 1000000000 + kLines}, {1, 77}}));
}

// Files no machine could have written are refused with the reason, and
// the others are read as usual.
TEST(Faults, FilesTooLargeForTheirKindAreRefused) {
  TempDir dir;
  const std::string factors = dir.write("m/fact.txt", "");
  fs::resize_file(factors, uint64_t{5} << 30);  // sparse: they take no room
  const std::string status = dir.write("m/QsvStatus.dat", "");
  fs::resize_file(status, uint64_t{300} << 20);
  fs::resize_file(dir.write("m/nextrange.txt", ""), uint64_t{300} << 20);
  Model model;
  model.Machines = {Machine("huge", factors, status, 0),
                    Machine("fine", dir.write("fine/fact.txt", "5 | y\n"), "", 0)};

  ASSERT_TRUE(RefreshAll(model, FakeFetcher()));
  ExpectIdle(model);
  const Machine& huge = model.Machines[0];
  EXPECT_NE(huge.FactorError.find("larger than 4 GiB"), std::string::npos) << huge.FactorError;
  EXPECT_NE(huge.StatusError.find("larger than 256 MiB"), std::string::npos) << huge.StatusError;
  EXPECT_NE(huge.QueueError.find("larger than 256 MiB"), std::string::npos) << huge.QueueError;
  EXPECT_EQ(model.NewFactorsText, "5 | y\r\n");
}

}  // namespace
