#include "model/Numbers.h"

#include <charconv>

std::optional<uint64_t> ReadLeadingNumber(std::string_view text, std::string_view* rest,
                                          uint64_t max) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  const size_t first = i;
  uint64_t value = 0;
  bool fits = true;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (max - digit) / 10) fits = false;
    if (fits) value = value * 10 + digit;
  }
  if (i == first || !fits) return std::nullopt;
  if (rest) *rest = text.substr(i);
  return value;
}

std::string DecimalText(uint64_t value) {
  char buffer[20];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}
