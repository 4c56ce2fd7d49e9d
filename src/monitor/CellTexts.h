#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/Machine.h"

// A number with 3 significant digits in the general notation of printf's
// %.3g, but with an exponent of a sign and three digits ("5e+003"), in any
// locale.
std::string FormatGeneral3(double value);

// How long the machine's current range will last at its present speed, in
// seconds; none at speed 0, when it never ends.
std::optional<uint64_t> EtaSeconds(const Machine& machine);

// The share of the current range sieved, in percent.
double PercentDone(const Machine& machine);
// Factors found per billion p sieved in the current range.
double FactorsPerBillion(const Machine& machine);

// The texts of the machine list's cells worked out from a machine record.
std::string SpeedText(const Machine& machine);        // "50 kp/s"
std::string PercentDoneText(const Machine& machine);  // "33.3"
std::string FormatEta(const Machine& machine);        // "1d 1h 1m", "Big Crunch"
std::string DensityText(const Machine& machine);      // "2.5/G"
std::string NextRangeText(const Machine& machine);    // "12-15", empty without a queue
