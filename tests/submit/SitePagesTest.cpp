#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "submit/SitePages.h"

namespace {

TEST(FindLoginName, TakesTheTextOfTheElementAfterThePhrase) {
  struct Case {
    std::string page;
    std::optional<std::string> name;
  };
  const std::array cases{
      Case{"<p>You are logged in as <b>bob</b></p>", "bob"},
      Case{"logged in as <b> Bob Smith </b>", " Bob Smith "},
      Case{"logged in as <b></b>", ""},
      Case{"logged in as> Bob<", " Bob"},
      Case{"<p>logged in as <b>bob", std::nullopt},  // no '<' after the name
      Case{"<p>logged in as bob</p> <p>", " "},      // the first '>' after the phrase counts
      Case{"logged in as bob", std::nullopt},
      Case{"Logged In As <b>bob</b>", std::nullopt},  // case counts
      Case{"<p>Not logged in.</p>", std::nullopt},
      Case{"a>logged in as <b>one</b> logged in as <b>two</b>", "one"},
  };
  for (const auto& [page, name] : cases) {
    SCOPED_TRACE(page);
    EXPECT_EQ(FindLoginName(page), name);
  }
}

TEST(ReadSubmissionCounts, ReadsTheNumbersBeforeThePhrases) {
  struct Case {
    std::string page;
    std::optional<SiteCounts> counts;  // nothing: an error
    std::string error = "";            // its start
  };
  const std::string padding(100, ' ');
  const std::string noCounts = "Couldn't trust the submission page: \"";
  const std::array cases{
      Case{"<p>5 of 7 verified in 0.3 seconds</p><p>2 of the results were new</p>", {{5, 7, 2}}},
      Case{"<p>5 of 7 verified in 0.3 seconds</p>", {{5, 7, 0}}},
      Case{"5 of 7 verified in 0.3 seconds", {{5, 7, 0}}},  // no element: from the start
      Case{"<p>0 of 0 verified in 0.3 seconds</p>", {{0, 0, 0}}},
      Case{"<p>\t5\nout-of\r\n7 verified in</p>", {{5, 7, 0}}},
      Case{"<p>2147483647 of 2147483647 verified in</p>", {{2147483647, 2147483647, 0}}},
      Case{"<p>1 of 1 verified in</p><p>none of the results were new</p>", {{1, 1, 0}}},
      Case{"<p>2 of the results were new</p><p>3 of 4 verified in</p>", {{3, 4, 2}}},
      Case{"<p>All verified in 0.3 seconds</p>", {}, noCounts + "All verified in\" is an answer"},
      Case{"<p>5 verified in 0.3 seconds</p>", {}, noCounts + "5 verified in\""},
      Case{"<p>+5 of 7 verified in</p>", {}, noCounts + "+5 of 7 verified in\""},
      Case{"<p>5 of -7 verified in</p>", {}, noCounts + "5 of -7 verified in\""},
      Case{"<p>8 of 7 verified in</p>", {}, noCounts + "8 of 7 verified in\""},
      Case{"<p>99999999999999999999 of -5 verified in</p>", {}, noCounts + "9999"},
      Case{"<p>2147483648 of 2147483648 verified in</p>", {}, noCounts + "2147483648 of"},
      Case{"<p>\t5\nof\r\n\x01 verified in</p>", {}, noCounts + " 5 of  \x01 verified in\""},
      Case{"<b>3</b> of 4 verified in", {}, noCounts + " of 4 verified in\""},  // its element
      Case{"<p>" + padding + "5 of 7 verified in</p>", {}, noCounts + padding},  // beyond 100 bytes
      Case{"<p>Couldn't verify anything.</p>", {}, "Couldn't parse submission page."},
      Case{"", {}, "Couldn't parse submission page."},
  };
  for (const auto& [page, counts, error] : cases) {
    SCOPED_TRACE(page);
    const Result<SiteCounts> read = ReadSubmissionCounts(page);
    ASSERT_EQ(read.ok(), counts.has_value()) << (read ? "" : read.error().message);
    if (read)
      EXPECT_EQ(read.value(), *counts);
    else
      EXPECT_EQ(read.error().message.rfind(error, 0), 0u) << read.error().message;
  }
}

}  // namespace
