#include "cli/MachineOption.h"

#include <gtest/gtest.h>

namespace {

TEST(MachineIndex, AcceptsPlainDecimalIndexesOnly) {
  struct Case {
    std::string typed;
    std::optional<size_t> index;  // nothing: refused
    std::string error;
  };
  const std::vector<Case> cases{
      {"0", 0, ""},
      {"2", 2, ""},
      {"002", 2, ""},
      {"3", {}, "--machine 3: there are 3 machines"},
      {"-1", {}, "--machine -1: not a machine index (a decimal number from 0)"},
      {"", {}, "--machine \"\": not a machine index (a decimal number from 0)"},
      {"0x3", {}, "--machine 0x3: not a machine index (a decimal number from 0)"},
      {" 1", {}, "--machine  1: not a machine index (a decimal number from 0)"},
      {"1 ", {}, "--machine 1 : not a machine index (a decimal number from 0)"},
      {"+1", {}, "--machine +1: not a machine index (a decimal number from 0)"},
      {"1e0", {}, "--machine 1e0: not a machine index (a decimal number from 0)"},
      {"99999999999999999999999", {}, "--machine 99999999999999999999999: there are 3 machines"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const Result<size_t> index = MachineIndex(c.typed, 3);
    ASSERT_EQ(index.ok(), c.index.has_value());
    if (index)
      EXPECT_EQ(index.value(), *c.index);
    else
      EXPECT_EQ(index.error().message, c.error);
  }
}

}  // namespace
