#include <gtest/gtest.h>

#include <array>

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

}  // namespace
