#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/TempDir.h"

namespace {

// A mistyped --config must not pass for an empty farm without a word.
TEST(CliMissingConfig, ANamedFileThatDoesNotExistIsToldOnStderr) {
  TempDir dir;
  const std::string missing = dir.file("typo.ini");
  const std::string there = dir.write("farm.ini", "[Settings]\nMachines=0\n");
  const std::string told = " does not exist; it will be created at the first save\n";
  struct Case {
    std::string path;
    std::string err;
  };
  const std::array<Case, 2> cases{{
      {missing, "quillstrand-cli: " + missing + told},
      {there, ""},
  }};
  for (const auto& [path, err] : cases) {
    SCOPED_TRACE(path);
    const CliRun run = RunWith({"--config", path, "config"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, err);
    EXPECT_NE(run.out.find("Machines           0"), std::string::npos) << run.out;
  }
}

// Commands that need the farm's machines refuse a named file that is not
// there; a monitoring check says UNKNOWN in its one line.
TEST(CliMissingConfig, CommandsThatNeedTheFileRefuseIt) {
  TempDir dir;
  const std::string missing = dir.file("nowhere/q.ini");
  const std::string refused = "quillstrand-cli: " + missing + ": no such settings file\n";
  struct Case {
    std::vector<std::string> command;
    int code;
    std::string out, err;
  };
  const std::array<Case, 8> cases{{
      {{"check"}, 3, "UNKNOWN: " + missing + ": no such settings file\n", ""},
      {{"status"}, 1, "", refused},
      {{"status", "--json"}, 1, "", refused},
      {{"ranges"}, 1, "", refused},
      {{"equalize", "--dry-run"}, 1, "", refused},
      {{"submit"}, 1, "", refused},
      {{"mark-old"}, 1, "", refused},
      {{"watch", "--ticks", "1"}, 1, "", refused},
  }};
  for (const auto& [command, code, out, err] : cases) {
    SCOPED_TRACE(command.front());
    std::vector<std::string> arguments{"--config", missing};
    arguments.insert(arguments.end(), command.begin(), command.end());
    const CliRun run = RunWith(arguments);
    EXPECT_EQ(run.code, code);
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, err);
    EXPECT_FALSE(std::filesystem::exists(missing));
  }
}

}  // namespace
