#include "model/Numbers.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// The value of the eight ASCII digits at `text`, or nothing when they are
// not all digits. Status, factor and queue files are mostly 13-digit
// numbers; converting them eight digits at a time doubles the readers' speed.
std::optional<uint64_t> EightDigits(const char* text) {
  uint64_t chunk;
  std::memcpy(&chunk, text, 8);
  // A digit byte is 0x30 to 0x39: high nibble 3, and adding 6 keeps it 3.
  constexpr uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0;
  constexpr uint64_t kThrees = 0x3030303030303030;
  if ((chunk & kHighNibbles) != kThrees || ((chunk + 0x0606060606060606) & kHighNibbles) != kThrees)
    return std::nullopt;
  // Little-endian: the first digit is the lowest byte. Pairs, then fours,
  // then eights of digits are combined with multiplications.
  chunk -= kThrees;
  chunk = chunk * 10 + (chunk >> 8);
  chunk = ((chunk & 0x000000FF000000FF) * (100 + (1000000ULL << 32)) +
           ((chunk >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32))) >>
          32;
  return chunk;
}

}  // namespace

std::optional<uint64_t> ReadLeadingNumber(std::string_view text, std::string_view* rest,
                                          uint64_t max) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  const size_t first = i;
  uint64_t value = 0;
  // Up to 19 digits cannot overflow 64 bits, so they need no check.
  for (int chunks = 0; chunks < 2 && text.size() - i >= 8; ++chunks) {
    const auto eight = EightDigits(text.data() + i);
    if (!eight) break;
    value = value * 100'000'000 + *eight;
    i += 8;
  }
  const size_t uncheckedEnd = std::min(text.size(), first + 19);
  for (; i < uncheckedEnd && IsDigit(text[i]); ++i)
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  bool fits = true;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) fits = false;
    if (fits) value = value * 10 + digit;
  }
  if (i == first || !fits || value > max) return std::nullopt;
  if (rest) *rest = text.substr(i);
  return value;
}

std::string DecimalText(uint64_t value) {
  char buffer[20];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}
