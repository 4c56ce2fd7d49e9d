#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// True for the characters a number may be preceded by: blank, tab, the line
// breaks, vertical tab and form feed.
constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the unsigned decimal number at the start of `text`, after optional
// blanks, up to the first character that is not a digit. Gives nothing when
// there are no digits or the number exceeds `max`. On success `*rest`, when
// given, receives the text after the digits.
std::optional<uint64_t> ReadLeadingNumber(std::string_view text, std::string_view* rest = nullptr,
                                          uint64_t max = UINT64_MAX);

// Plain unsigned decimal text: no sign, grouping or leading zeros.
std::string DecimalText(uint64_t value);
