#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ReadingPrinters.h"
#include "monitor/FactorFile.h"
#include "monitor/StatusFile.h"
#include "ranges/QueueFile.h"

namespace {

std::string Repeat(std::string_view piece, size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (size_t i = 0; i < times; ++i) text.append(piece);
  return text;
}

// Whatever a machine serves, every reader must finish, within the text,
// with a sensible result.
TEST(Readers, AcceptAnyBytes) {
  using namespace std::string_literals;
  const std::string digits(10'000, '9');
  struct Case {
    std::string name;
    std::string text;
    uint32_t intervals;
    StatusReading status;
    FactorReading factors;  // with LastOldFactor 0 and the widest range
    size_t ranges;
  };
  const std::vector<Case> cases{
      {"NUL bytes",
       "pmin=100 \0 40\n\0\0\n123\0 | x\npmax=\0\npmin=\0\npmin=7\0\npmax=8\n"s,
       5,
       {8, 0, 7, 13},
       {1, 1, 1, 123},
       1},
      // Still being written: nothing is read of it yet.
      {"no line end", "pmin=100 : 40 pmax=200 Done 123", 5, {}, {}, 0},
      {"a line end only before the last",
       "pmin=100 : 40\n123 | x\npmax",
       5,
       {0, 100, 100, 40},
       {1, 1, 1, 123},
       0},
      {"only CRs", std::string(10'000, '\r'), 5, {}, {}, 0},
      {"CRs before each LF", Repeat("pmin=5 : 6\r\r\n", 3), 5, {0, 5, 5, 6}, {}, 0},
      {"10,000 digits",
       "pmin=" + digits + " : 40\npmax=" + digits + "\npmin=9 : " + digits + "\n" + digits +
           "\npmin=" + digits + "\npmax=" + digits + "\n",
       5,
       {0, 0, 9, 0},
       {1, 0, 0, std::nullopt},  // shown, but without a p: nothing to mark
       0},
      {"a 100 MB line", std::string(100'000'000, '1') + "\n", 5, {}, {1, 0, 0, std::nullopt}, 0},
      {"a 100 MB line still being written",
       "1\n" + std::string(100'000'000, '2'),
       5,
       {},
       {1, 1, 1, 1},
       0},
      {"pmin lines only, a huge N",
       Repeat("pmin=5 : 7\n", 100'000),
       4'000'000'000u,
       {0, 5, 5, 7},
       {},
       0},
      {"pmin lines only, without values", Repeat("pmin\n", 1000), 4'000'000'000u, {}, {}, 0},
  };
  for (const auto& [name, text, intervals, status, factors, ranges] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ParseStatusFile(text, intervals), status);

    std::string newText, allText;
    EXPECT_EQ(ScanFactorFile(text, 0, 0, UINT64_MAX, newText, &allText), factors);
    EXPECT_EQ(newText, factors.Mark ? allText : "");
    EXPECT_LE(newText.size(), text.size() + 2 * static_cast<size_t>(factors.TotalFactors));

    EXPECT_EQ(ParseQueuedRanges(text).size(), ranges);
  }
}

}  // namespace
