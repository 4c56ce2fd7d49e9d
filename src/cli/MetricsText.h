#pragma once

#include <string>
#include <string_view>

#include "cli/FarmReading.h"

// The reading in the Prometheus text format (version 0.0.4): per machine
// (label "machine", its name) its position, speed, factors, queue and
// health; the farm's totals; the refreshes; the build. Values are as of the
// reading; series with no value then (an ETA at speed 0) are left out.
std::string MetricsText(const FarmReading& reading);

// A label value as the text format writes it between its quotes: valid
// UTF-8, with backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view text);
