#include "model/TerminalText.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

TEST(TerminalText, ShowsWhatATerminalWouldObeyAsHex) {
  struct Case {
    std::string text, shown;
  };
  const std::vector<Case> cases{
      {"plain | 3*2^5+1", "plain | 3*2^5+1"},
      {"tab\tstays", "tab\tstays"},
      {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
      {"\x1b[2J", "\\x1b[2J"},
      {"line\nbreak\r", "line\\x0abreak\\x0d"},
      {"nul\0del\x7f"s, "nul\\x00del\\x7f"},
      {"M\xc3\xbcller \xe4\xb8\xad \xf0\x9f\x98\x80",
       "M\xc3\xbcller \xe4\xb8\xad \xf0\x9f\x98\x80"},
      {"C1 \xc2\x9b as UTF-8", "C1 \\xc2\\x9b as UTF-8"},
      {"C1 \x9b alone", "C1 \\x9b alone"},
      {"\xff\xfe not UTF-8", "\\xff\\xfe not UTF-8"},
      {"overlong \xc0\xaf, surrogate \xed\xa0\x80",
       "overlong \\xc0\\xaf, surrogate \\xed\\xa0\\x80"},
      {"cut short \xe4\xb8", "cut short \\xe4\\xb8"},
      {"beyond U+10FFFF \xf4\x90\x80\x80", "beyond U+10FFFF \\xf4\\x90\\x80\\x80"},
  };
  for (const auto& [text, shown] : cases) {
    SCOPED_TRACE(shown);
    EXPECT_EQ(TerminalText(text), shown);
  }
}

TEST(TerminalText, DisplayWidthCountsColumns) {
  struct Case {
    std::string text;
    size_t width;
  };
  const std::vector<Case> cases{
      {"", 0},
      {"alpha", 5},
      {"M\xc3\xbcller", 6},             // a letter of two bytes
      {"e\xcc\x81", 1},                 // e and a combining acute accent
      {"\xe4\xb8\xad\xe6\x96\x87", 4},  // two wide characters
      {TerminalText("\x1b[31m"), 8},    // as it is shown
  };
  const DisplayWidth width;
  for (const auto& [text, columns] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(width(text), columns);
  }
}

TEST(TerminalText, PaneLinesEndInLineFeedsWhateverTheirLength) {
  const std::string longLine = std::string(200'000, 'a') + "\xc3\xbc" + std::string(100'000, 'b');
  std::ostringstream out;
  WriteTerminalLines(out, "1 | a\r\n" + longLine + "\r\n2 | \x1b\r\n");
  EXPECT_EQ(out.str(), "1 | a\n" + longLine + "\n2 | \\x1b\n");
}

}  // namespace
