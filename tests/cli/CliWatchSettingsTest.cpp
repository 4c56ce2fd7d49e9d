#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "StandInSite.h"
#include "model/Password.h"
#include "model/SettingsFile.h"
#include "support/TempDir.h"

namespace {

std::string MachineSection(const TempDir& dir, int index, const std::string& folder) {
  return "[Machine " + std::to_string(index) + "]\nName=" + folder +
         "\nFactorPath=" + dir.file(folder + "/fact.txt") +
         "\nStatusPath=" + dir.file(folder + "/QsvStatus.dat") + "\n";
}

// A machine added to the settings file by hand while `watch` runs is
// watched from the next tick on, and its submissions keep it in the file.
TEST(CliWatchSettings, AMachineAddedByHandIsWatchedAndKept) {
  StandInSite site;
  site.AddUser("bob", "pw");
  TempDir dir;
  for (const char* folder : {"a", "b"})
    dir.write(std::string(folder) + "/QsvStatus.dat", "pmax=3000000000\npmin=1000000000\n");
  dir.write("a/fact.txt", "1000000007 | 5*2^12+1\n");
  dir.write("b/fact.txt", "2000000011 | 9*2^8+1\n");
  const std::string settings = dir.write(
      "quillstrand.ini", "[Settings]\nMachines=1\nUsername=bob\nPassword=" + EncodePassword("pw") +
                             "\nAutoSubmit=1\nAutoTimerInterval=1\n" + MachineSection(dir, 0, "a"));
  ::setenv("QUILLSTRAND_SERVER", site.Address().c_str(), 1);
  ::setenv("QUILLSTRAND_MINUTE_MS", "400", 1);
  const std::string out = dir.file("watch.out");
  CliProcess watch({"--config", settings, "watch", "--ticks", "2"}, out);
  ::unsetenv("QUILLSTRAND_SERVER");
  ::unsetenv("QUILLSTRAND_MINUTE_MS");
  ASSERT_TRUE(watch.Started());

  // Between the ticks, the watch waits: the hand edit is not in a save's way.
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(out).find("tick 1:") != std::string::npos; }))
      << ReadFile(out);
  std::string text = ReadFile(settings);
  text.replace(text.find("Machines=1"), 10, "Machines=2");
  dir.write("quillstrand.ini", text + MachineSection(dir, 1, "b"));

  const int status = watch.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string lines = ReadFile(out);
  EXPECT_NE(lines.find("tick 1: 1 of 1 machines read, 1 new factors, submitted"), std::string::npos)
      << lines;
  EXPECT_NE(lines.find("tick 2: 2 of 2 machines read, 1 new factors, submitted"), std::string::npos)
      << lines;
  Model saved;
  ASSERT_TRUE(LoadSettings(settings, saved));
  ASSERT_EQ(saved.Machines.size(), 2u);
  EXPECT_EQ(saved.Machines[0].LastOldFactor, 1000000007u);
  EXPECT_EQ(saved.Machines[1].LastOldFactor, 2000000011u);
}

// A machine that another's removal from the file moves up is the machine
// it was: it does not warn again of the state it was warned of.
TEST(CliWatchSettings, AMachineMovedUpByARemovalWarnsNoMore) {
  TempDir dir;  // no files: both machines are unreachable
  const std::string settings = dir.write(
      "quillstrand.ini", "[Settings]\nMachines=2\nAutoTimerInterval=1\n" +
                             MachineSection(dir, 0, "gone") + MachineSection(dir, 1, "down"));
  ::setenv("QUILLSTRAND_MINUTE_MS", "400", 1);
  const std::string out = dir.file("watch.out");
  CliProcess watch({"--config", settings, "watch", "--ticks", "2"}, out);
  ::unsetenv("QUILLSTRAND_MINUTE_MS");
  ASSERT_TRUE(watch.Started());

  ASSERT_TRUE(WaitUntil([&] { return ReadFile(out).find("tick 1:") != std::string::npos; }))
      << ReadFile(out);
  dir.write("quillstrand.ini",
            "[Settings]\nMachines=1\nAutoTimerInterval=1\n" + MachineSection(dir, 0, "down"));

  const int status = watch.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string lines = ReadFile(out);
  const size_t second = lines.find("tick 2: 0 of 1 machines read");
  ASSERT_NE(second, std::string::npos) << lines;
  EXPECT_NE(lines.rfind("warning: down unreachable: ", second), std::string::npos) << lines;
  EXPECT_EQ(lines.find("warning:", second), std::string::npos) << lines;
}

}  // namespace
