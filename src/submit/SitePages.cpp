#include "submit/SitePages.h"

#include <algorithm>
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

// Reads a signed decimal integer after blanks, as a C library scan would,
// held to 32 bits; nothing (and `text` unchanged) when there is none.
std::optional<int32_t> ReadInteger(std::string_view& text) {
  std::string_view rest = text;
  SkipBlanks(rest);
  const bool negative = !rest.empty() && rest.front() == '-';
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) rest.remove_prefix(1);
  if (rest.empty() || !IsDigit(rest.front())) return std::nullopt;
  int64_t value = 0;
  for (; !rest.empty() && IsDigit(rest.front()); rest.remove_prefix(1))
    value = std::min<int64_t>(value * 10 + (rest.front() - '0'), int64_t{1} << 32);
  if (negative) value = -value;
  text = rest;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Skips one word: blanks, then everything up to the next blank.
bool SkipWord(std::string_view& text) {
  SkipBlanks(text);
  if (text.empty()) return false;
  while (!text.empty() && !IsBlank(text.front())) text.remove_prefix(1);
  return true;
}

// "V <word> T": the verified and total counts, as far as they can be read.
void ReadVerifiedAndTotal(std::string_view text, SiteCounts& counts) {
  const auto verified = ReadInteger(text);
  if (!verified) return;
  counts.Verified = *verified;
  if (!SkipWord(text)) return;
  if (const auto total = ReadInteger(text)) counts.Total = *total;
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

std::optional<SiteCounts> ReadSubmissionCounts(std::string_view page) {
  const size_t verifiedIn = page.find("verified in");
  if (verifiedIn == std::string_view::npos) return std::nullopt;
  SiteCounts counts;
  ReadVerifiedAndTotal(ElementTextFrom(page, verifiedIn), counts);
  if (const size_t results = page.find("of the results"); results != std::string_view::npos) {
    std::string_view text = ElementTextFrom(page, results);
    counts.New = ReadInteger(text).value_or(0);
  }
  return counts;
}
