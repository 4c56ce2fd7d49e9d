#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The most billions whose p still fit in 64 bits.
inline constexpr uint64_t kMaxBillions = UINT64_MAX / 1'000'000'000;

// Reads a count of billions as the user typed it and gives it in p. Blanks
// before the digits are skipped and reading stops at the first character
// that is not a digit; a text without digits reads as 0. A sign before the
// digits, or a count above kMaxBillions, gives nothing: its p cannot be
// stored, and wrapping it would queue some other range.
std::optional<uint64_t> ParseBillions(std::string_view text);

// p in whole billions, the remainder dropped, as plain decimal text.
std::string BillionsText(uint64_t p);
