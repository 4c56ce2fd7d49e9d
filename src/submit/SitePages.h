#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the site's answer to a factor post says about the factors.
struct SiteCounts {
  int32_t Verified = 0;
  int32_t Total = 0;
  int32_t New = 0;

  friend bool operator==(const SiteCounts&, const SiteCounts&) = default;
};

// The user name that a page of the site shows after "logged in as": the
// text, untrimmed and possibly empty, between the first '>' after the phrase
// and the next '<'. Nothing when the page has no such name.
std::optional<std::string> FindLoginName(std::string_view page);

// The counts of a factor post's answer, read from the text element holding
// "verified in" ("5 of 7 verified in 0.3 seconds") and the one holding "of
// the results" ("2 of the results were new"). A count that is not there
// stays 0; nothing when the page has no "verified in" at all.
std::optional<SiteCounts> ReadSubmissionCounts(std::string_view page);
