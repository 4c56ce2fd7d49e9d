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

struct CompleteLines {
  std::vector<std::string> lines;
  size_t read = 0;
};

CompleteLines CompleteLinesOf(std::string_view text) {
  CompleteLines complete;
  complete.read =
      ForEachCompleteLine(text, [&](std::string_view line) { complete.lines.emplace_back(line); });
  return complete;
}

// The complete lines, and the unfinished last line left unread; a whole
// text takes that last line as a line too.
TEST(ForEachLine, SplitsAtLineFeedsCarriageReturnsAndBoth) {
  using namespace std::string_view_literals;
  struct Case {
    std::string_view text;
    std::vector<std::string> complete;
    std::string_view unread;
  };
  const std::array cases{
      Case{"", {}, ""},
      Case{"one", {}, "one"},
      Case{"one\n", {"one"}, ""},
      Case{"one\ntwo", {"one"}, "two"},
      Case{"one\r\ntwo\r\n", {"one", "two"}, ""},
      Case{"one\rtwo\rthree\r", {"one", "two", "three"}, ""},
      Case{"one\rtwo\rthr", {"one", "two"}, "thr"},
      Case{"\n\n", {"", ""}, ""},
      Case{"\r\n", {""}, ""},
      Case{"one\r\r\n", {"one", ""}, ""},
      Case{"\r", {""}, ""},
      Case{"\r\r", {"", ""}, ""},
      Case{"\n\r", {"", ""}, ""},
      Case{"a\rb\n", {"a", "b"}, ""},
      Case{"101\n10000008", {"101"}, "10000008"},
      Case{"a\0b\nc"sv, {std::string("a\0b", 3)}, "c"},
  };
  for (const auto& [text, complete, unread] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    const CompleteLines read = CompleteLinesOf(text);
    EXPECT_EQ(read.lines, complete);
    EXPECT_EQ(text.substr(read.read), unread);
    std::vector<std::string> whole = complete;
    if (!unread.empty()) whole.emplace_back(unread);
    EXPECT_EQ(Lines(text), whole);
  }
}

}  // namespace
