#include "submit/SitePages.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include "model/Numbers.h"

namespace {

// How much of an element's text before a phrase is read for its numbers.
constexpr size_t kCountsWindow = 100;

// The text from the start of the element that holds the phrase at `at`
// (just after the nearest '>' before it) on, at most kCountsWindow bytes.
std::string_view ElementTextFrom(std::string_view page, size_t at) {
  const size_t tagEnd = at == 0 ? std::string_view::npos : page.rfind('>', at - 1);
  const size_t start = tagEnd == std::string_view::npos ? 0 : tagEnd + 1;
  return page.substr(start, kCountsWindow);
}

void SkipBlanks(std::string_view& text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
}

// Reads a whole number after blanks: digits only, no sign, held to 32
// bits; nothing (and `text` unchanged) when there is none or it is larger.
std::optional<int32_t> ReadWholeNumber(std::string_view& text) {
  std::string_view rest = text;
  SkipBlanks(rest);
  if (rest.empty() || !IsDigit(rest.front())) return std::nullopt;
  int64_t value = 0;
  for (; !rest.empty() && IsDigit(rest.front()); rest.remove_prefix(1)) {
    value = value * 10 + (rest.front() - '0');
    if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  }
  text = rest;
  return static_cast<int32_t>(value);
}

// Skips one word: blanks, then everything up to the next blank.
bool SkipWord(std::string_view& text) {
  SkipBlanks(text);
  if (text.empty()) return false;
  while (!text.empty() && !IsBlank(text.front())) text.remove_prefix(1);
  return true;
}

// "V <word> T": the verified and total counts, when both are there as
// whole numbers and no more were verified than were sent.
std::optional<SiteCounts> ReadVerifiedAndTotal(std::string_view text) {
  const auto verified = ReadWholeNumber(text);
  if (!verified || !SkipWord(text)) return std::nullopt;
  const auto total = ReadWholeNumber(text);
  if (!total || *verified > *total) return std::nullopt;
  return SiteCounts{.Verified = *verified, .Total = *total, .New = 0};
}

std::string ShouldNotGive(std::string_view element) {
  std::string quoted;
  for (const char c : element) quoted += IsBlank(c) ? ' ' : c;
  return "Couldn't trust the submission page: \"" + quoted +
         "\" is an answer the site should not give. Submit factors manually to make sure "
         "they're ok.";
}

}  // namespace

std::optional<std::string> FindLoginName(std::string_view page) {
  static constexpr std::string_view kPhrase = "logged in as";
  const size_t phrase = page.find(kPhrase);
  if (phrase == std::string_view::npos) return std::nullopt;
  const size_t open = page.find('>', phrase + kPhrase.size());
  if (open == std::string_view::npos) return std::nullopt;
  const size_t close = page.find('<', open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  return std::string(page.substr(open + 1, close - open - 1));
}

Result<SiteCounts> ReadSubmissionCounts(std::string_view page) {
  static constexpr std::string_view kVerifiedIn = "verified in";
  const size_t verifiedIn = page.find(kVerifiedIn);
  if (verifiedIn == std::string_view::npos) return Error{kUnparsable, EBADMSG};
  const std::string_view element = ElementTextFrom(page, verifiedIn);
  std::optional<SiteCounts> counts = ReadVerifiedAndTotal(element);
  if (!counts) {
    const size_t end = element.find(kVerifiedIn);
    return Error{ShouldNotGive(element.substr(0, end == std::string_view::npos
                                                     ? element.size()
                                                     : end + kVerifiedIn.size())),
                 ERANGE};
  }
  if (const size_t results = page.find("of the results"); results != std::string_view::npos) {
    std::string_view text = ElementTextFrom(page, results);
    counts->New = ReadWholeNumber(text).value_or(0);
  }
  return *counts;
}
