#include "model/Billions.h"

#include "model/Numbers.h"

namespace {

constexpr uint64_t kBillion = 1'000'000'000;

}  // namespace

std::optional<uint64_t> ParseBillions(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  const std::string_view number = text.substr(start);
  if (number.starts_with('+') || number.starts_with('-')) return std::nullopt;
  if (number.empty() || !IsDigit(number.front())) return 0;
  // Nothing here means too many billions: there are digits.
  const std::optional<uint64_t> billions = ReadLeadingNumber(number, nullptr, kMaxBillions);
  if (!billions) return std::nullopt;
  return *billions * kBillion;
}

std::string BillionsText(uint64_t p) { return DecimalText(p / kBillion); }
