#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/Result.h"

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

inline constexpr char kUnparsable[] =
    "Couldn't parse submission page. Submit factors manually to make sure they're ok.";

// The counts of a factor post's answer, read from the text element holding
// "verified in" ("5 of 7 verified in 0.3 seconds") and the one holding "of
// the results" ("2 of the results were new"; 0 when that is missing). The
// error, in the words the user is shown, is kUnparsable for a page without
// "verified in", and says so for counts that are not two whole numbers
// with no more verified than sent: that is an answer the site should not
// give, and nothing may be marked on the strength of it.
Result<SiteCounts> ReadSubmissionCounts(std::string_view page);
