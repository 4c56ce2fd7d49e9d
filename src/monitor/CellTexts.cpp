#include "monitor/CellTexts.h"

#include <charconv>

#include "model/Numbers.h"

namespace {

constexpr uint64_t kBillion = 1'000'000'000;

// Pads the exponent of a scientific text to three digits: "5e+03" becomes
// "5e+003". Fixed texts, "inf" and "nan" have no exponent.
std::string WithThreeDigitExponent(std::string text) {
  const size_t e = text.find('e');
  if (e == std::string::npos) return text;
  const size_t digits = text.size() - (e + 2);  // after "e" and its sign
  if (digits < 3) text.insert(e + 2, 3 - digits, '0');
  return text;
}

}  // namespace

std::string FormatGeneral3(double value) {
  // to_chars, unlike printf, ignores the locale, which the Qt program takes
  // from the environment: no decimal comma can slip in.
  char buffer[32];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 3).ptr;
  return WithThreeDigitExponent(std::string(buffer, end));
}

std::string SpeedText(const Machine& machine) { return DecimalText(machine.Speed) + " kp/s"; }

double PercentDone(const Machine& machine) {
  // A position below the range start has done none of it; a range that
  // ends before it starts is no range (the status reader refuses it).
  if (machine.Pmax <= machine.RangeStart || machine.CurrentP <= machine.RangeStart) return 0;
  const auto done = static_cast<double>(machine.CurrentP - machine.RangeStart);
  const auto whole = static_cast<double>(machine.Pmax - machine.RangeStart);
  return done * 100 / whole;
}

std::string PercentDoneText(const Machine& machine) { return FormatGeneral3(PercentDone(machine)); }

std::optional<uint64_t> EtaSeconds(const Machine& machine) {
  if (machine.Speed == 0) return std::nullopt;
  // In 64 bits: a 32-bit product would wrap for speeds above 4,294,967 kp/s
  // and be 0 for multiples of 2^29.
  const uint64_t pPerSecond = uint64_t{machine.Speed} * 1000;
  // A position past the range end has nothing left, not nearly 2^64 p.
  if (machine.CurrentP >= machine.Pmax) return 0;
  return (machine.Pmax - machine.CurrentP) / pPerSecond;
}

std::string FormatEta(const Machine& machine) {
  const std::optional<uint64_t> eta = EtaSeconds(machine);
  if (!eta) return "Big Crunch";
  const uint64_t seconds = *eta;
  return DecimalText(seconds / 86400) + "d " + DecimalText(seconds / 3600 % 24) + "h " +
         DecimalText(seconds / 60 % 60) + "m";
}

double FactorsPerBillion(const Machine& machine) {
  // A position below the range start has sieved nothing yet: as at the
  // start, one p. In doubles, so that the count of p never wraps to 0.
  const uint64_t done =
      machine.CurrentP > machine.RangeStart ? machine.CurrentP - machine.RangeStart : 0;
  const double sieved = static_cast<double>(done) + 1;
  return static_cast<double>(static_cast<uint32_t>(machine.RangeFactors)) *
         static_cast<double>(kBillion) / sieved;
}

std::string DensityText(const Machine& machine) {
  return FormatGeneral3(FactorsPerBillion(machine)) + "/G";
}

std::string NextRangeText(const Machine& machine) {
  if (machine.QueuedRanges.empty()) return "";
  const Range& next = machine.QueuedRanges.front();
  return DecimalText(next.Pmin / kBillion) + "-" + DecimalText(next.Pmax / kBillion);
}
