#include <gtest/gtest.h>

#include "CliRun.h"
#include "model/Password.h"
#include "support/TempDir.h"

namespace {

TEST(CliConfig, PrintsSettingsAndMachinesWithoutThePassword) {
  TempDir dir;
  const std::string path =
      dir.write("farm.ini", "[Settings]\nMachines=2\nPassword=" + EncodePassword("hunter2") +
                                "\n[Machine 0]\nName=alpha\x1b[2J\nFactorPath=/a/fact.txt\n"
                                "LastOldFactor=4294967296\n");
  const CliRun run = RunWith({"--config", path, "config"});
  EXPECT_EQ(run.code, 0) << run.err;
  for (const char* expected :
       {"Settings file: ", "Machines           1", "Password           (set)",
        "Username           \n", "[Machine 0]", "Name               alpha\\x1b[2J\n",
        "FactorPath         /a/fact.txt", "LastOldFactor      4294967296"}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  }
  // A count beyond the sections makes no empty machine, and says so.
  EXPECT_EQ(run.out.find("[Machine 1]"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "quillstrand-cli: warning: " + path +
                         ": \"Machines\" is 2, but the file holds 1 of those machine sections; "
                         "the 1 are read\n");
  EXPECT_EQ(run.out.find("hunter2"), std::string::npos);
}

TEST(CliConfig, EmptyPasswordAndMissingFileShowTheDefaults) {
  TempDir dir;
  const CliRun run = RunWith({"--config", dir.file("none.ini"), "config"});
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("Password           (empty)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Machines           0"), std::string::npos) << run.out;
}

TEST(CliConfig, ASettingsFileThatCannotBeReadAsWrittenIsToldOnStderr) {
  TempDir dir;
  const std::string path = dir.write("farm.ini", "[Settings]\rMachines=2\r");
  const CliRun run = RunWith({"--config", path, "config"});
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(
      run.err.find("quillstrand-cli: warning: " + path + ": line 1 ends in a carriage return"),
      std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("Machines           0"), std::string::npos) << run.out;
}

TEST(CliConfig, VersionIsPrintedAlone) {
  const CliRun run = RunWith({"--version"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "quillstrand v1.20\n");
}

TEST(CliConfig, WrongCommandLinesAndUnreadableFilesExitWithTwo) {
  TempDir dir;
  struct Case {
    std::vector<std::string> args;
    int code;
  };
  const std::vector<Case> cases{
      {{}, 2},
      {{"nonsense"}, 2},
      {{"config", "--no-such-option"}, 2},
      {{"--config", dir.path().string(), "config"}, 2},
      {{"--help"}, 0},
  };
  for (const auto& [args, code] : cases) {
    SCOPED_TRACE(args.empty() ? "(none)" : args[0]);
    const CliRun run = RunWith(args);
    EXPECT_EQ(run.code, code) << run.out << run.err;
    if (code != 0) {
      EXPECT_FALSE(run.err.empty());
    }
  }
}

}  // namespace
