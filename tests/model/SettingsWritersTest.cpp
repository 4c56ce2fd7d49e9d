// Several processes of the program change one settings file: each writes
// its own changes and keeps the others', and a save killed at any moment
// leaves the old file or the new one.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "model/SettingsFile.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

Model Farm() {
  Model model;
  model.Machines = {Machine("a", "/a/fact.txt", "/a/QsvStatus.dat", 10),
                    Machine("b", "/b/fact.txt", "/b/QsvStatus.dat", 20)};
  return model;
}

std::vector<uint64_t> Marks(const MachineTable& machines) {
  std::vector<uint64_t> marks;
  for (const Machine& machine : machines) marks.push_back(machine.LastOldFactor);
  return marks;
}

std::vector<std::string> Names(const MachineTable& machines) {
  std::vector<std::string> names;
  for (const Machine& machine : machines) names.push_back(machine.Name);
  return names;
}

// This process read Farm(); meanwhile another one moved b's mark to 25 and
// set the user name. What this one changed goes onto that, and nothing else.
TEST(ApplyOwnChanges, PutsOnlyThisProcessesChangesOntoTheFile) {
  struct Case {
    std::string name;
    std::function<void(Model&)> change;
    bool tableReplaced;
    std::vector<std::string> names;
    std::vector<uint64_t> marks;
    std::string username;
  };
  const std::vector<Case> cases{
      {"nothing", [](Model&) {}, false, {"a", "b"}, {10, 25}, "other"},
      {"an option", [](Model& m) { m.Options.DryHours = 3; }, false, {"a", "b"}, {10, 25}, "other"},
      {"the same option",
       [](Model& m) { m.Options.Username = "mine"; },
       false,
       {"a", "b"},
       {10, 25},
       "mine"},
      {"the layout",
       [](Model& m) { m.Options.Window.Width = 900; },
       false,
       {"a", "b"},
       {10, 25},
       "other"},
      {"a's mark",
       [](Model& m) { m.Machines[0].LastOldFactor = 11; },
       false,
       {"a", "b"},
       {11, 25},
       "other"},
      {"b's mark too",
       [](Model& m) { m.Machines[1].LastOldFactor = 21; },
       false,
       {"a", "b"},
       {10, 21},
       "other"},
      {"a removed",
       [](Model& m) { m.Machines.erase(m.Machines.begin()); },
       true,
       {"b"},
       {25},
       "other"},
      {"b renamed, moved first",
       [](Model& m) {
         m.Machines = {m.Machines[1], m.Machines[0]};
         m.Machines[0].Name = "b2";
       },
       true,
       {"b2", "a"},
       {25, 10},
       "other"},
      {"b's file changed",
       [](Model& m) { m.Machines[1].FactorPath = "/c/fact.txt"; },
       true,
       {"a", "b"},
       {10, 20},
       "other"},
      {"b's mark edited in the Machine dialog",
       [](Model& m) { m.Machines[1].LastOldFactor = 5; },
       true,
       {"a", "b"},
       {10, 5},
       "other"},
      {"a machine added",
       [](Model& m) { m.Machines.emplace_back("c", "/c", "/c", 7); },
       true,
       {"a", "b", "c"},
       {10, 25, 7},
       "other"},
      {"the table confirmed as it was", [](Model&) {}, true, {"a", "b"}, {10, 25}, "other"},
  };
  for (const auto& [name, change, tableReplaced, names, marks, username] : cases) {
    SCOPED_TRACE(name);
    const Model base = Farm();
    Model mine = base;
    change(mine);
    Model onDisk = Farm();
    onDisk.Machines[1].LastOldFactor = 25;
    onDisk.Options.Username = "other";
    ApplyOwnChanges(base, mine, onDisk, tableReplaced);
    EXPECT_EQ(Names(onDisk.Machines), names);
    EXPECT_EQ(Marks(onDisk.Machines), marks);
    EXPECT_EQ(onDisk.Options.Username, username);
    Settings expected = mine.Options;
    expected.Username = username;
    EXPECT_EQ(onDisk.Options, expected);
  }
}

// A machine added to the file by hand stays when this process saves a
// table it did not change.
TEST(ApplyOwnChanges, KeepsAMachineAddedByHand) {
  const Model base = Farm();
  Model mine = base;
  mine.Machines[0].LastOldFactor = 12;
  Model onDisk = Farm();
  onDisk.Machines.emplace_back("by hand", "/h/fact.txt", "/h/QsvStatus.dat", 3);
  ApplyOwnChanges(base, mine, onDisk);
  EXPECT_EQ(Names(onDisk.Machines), (std::vector<std::string>{"a", "b", "by hand"}));
  EXPECT_EQ(Marks(onDisk.Machines), (std::vector<uint64_t>{12, 20, 3}));
}

// Two processes save different options over and over at the same time:
// neither ever undoes the other's.
TEST(SaveOwnChanges, TwoWritersOfDifferentOptionsKeepBoth) {
  TempDir dir;
  const std::string path = dir.file("quillstrand.ini");
  // Each writer counts its option up from 1: a lost update would count the
  // other's back.
  Model farm = Farm();
  farm.Options.StalledMinutes = farm.Options.DryHours = 1;
  ASSERT_TRUE(SaveSettings(path, farm));
  constexpr uint32_t kSaves = 60;
  const auto writer = [&](uint32_t Settings::*mine, uint32_t Settings::*theirs, bool& sound) {
    uint32_t seen = 0;
    for (uint32_t i = 2; i <= kSaves; ++i) {
      Model base;
      if (!LoadSettings(path, base)) return;
      Model changed = base;
      changed.Options.*mine = i;
      const Result<Model> written = SaveOwnChanges(path, base, changed);
      if (!written || written.value().Options.*mine != i || written.value().Options.*theirs < seen)
        return;
      seen = written.value().Options.*theirs;
    }
    sound = true;
  };
  bool firstSound = false, secondSound = false;
  std::thread first(writer, &Settings::StalledMinutes, &Settings::DryHours, std::ref(firstSound));
  std::thread second(writer, &Settings::DryHours, &Settings::StalledMinutes, std::ref(secondSound));
  first.join();
  second.join();
  EXPECT_TRUE(firstSound);
  EXPECT_TRUE(secondSound);
  Model saved;
  ASSERT_TRUE(LoadSettings(path, saved));
  EXPECT_EQ(saved.Options.StalledMinutes, kSaves);
  EXPECT_EQ(saved.Options.DryHours, kSaves);
}

std::vector<std::string> TemporaryFiles(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    if (entry.path().extension() == ".tmp") names.push_back(entry.path().filename().string());
  return names;
}

// A process saving the settings again and again is killed at random
// moments: the file is always one whole version, and what the killed saves
// left behind goes with the next save.
TEST(SaveSettings, AKilledSaveLeavesTheOldFileOrTheNew) {
  TempDir dir;
  const std::string path = dir.file("quillstrand.ini");
  std::vector<Model> versions(2, Farm());
  versions[1].Options.Username = std::string(5000, 'u');  // a longer write to be caught in
  versions[1].Machines[0].LastOldFactor = 99;
  ASSERT_TRUE(SaveSettings(path, versions[0]));
  std::mt19937 random(21);
  constexpr int kKills = 150;
  int leftBehind = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t saver = ::fork();
    ASSERT_GE(saver, 0);
    if (saver == 0) {
      for (size_t i = 0;; ++i)
        if (!SaveSettings(path, versions[i % 2])) ::_exit(1);
    }
    ::usleep(std::uniform_int_distribution<useconds_t>(0, 3000)(random));
    ::kill(saver, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(saver, &status, 0), saver);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saver failed: " << status;

    Model saved;
    std::string warning;
    ASSERT_TRUE(LoadSettings(path, saved, &warning));
    EXPECT_EQ(warning, "");
    EXPECT_TRUE(saved.Options == versions[0].Options || saved.Options == versions[1].Options);
    EXPECT_EQ(Marks(saved.Machines)[0], saved.Options == versions[0].Options ? 10u : 99u);
    if (!TemporaryFiles(dir).empty()) ++leftBehind;
  }
  ASSERT_TRUE(SaveSettings(path, versions[0]));
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
  std::cout << leftBehind << " of " << kKills << " kills left a temporary file behind\n";
}

}  // namespace
