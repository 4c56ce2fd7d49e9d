#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "model/Lines.h"

namespace {

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  ForEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

TEST(ForEachLine, SplitsAtLineFeedsAndDropsOneCarriageReturn) {
  using namespace std::string_view_literals;
  struct Case {
    std::string_view text;
    std::vector<std::string> lines;
  };
  const std::array cases{
      Case{"", {}},
      Case{"one", {"one"}},
      Case{"one\n", {"one"}},
      Case{"one\ntwo", {"one", "two"}},
      Case{"one\r\ntwo\r\n", {"one", "two"}},
      Case{"\n\n", {"", ""}},
      Case{"\r\n", {""}},
      Case{"one\r\r\n", {"one\r"}},
      Case{"\r", {""}},
      Case{"\r\r", {"\r"}},
      Case{"a\rb\n", {"a\rb"}},
      Case{"a\0b\nc"sv, {std::string("a\0b", 3), "c"}},
  };
  for (const auto& [text, lines] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    EXPECT_EQ(Lines(text), lines);
  }
}

}  // namespace
