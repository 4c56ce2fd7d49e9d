#pragma once

#include <string>
#include <string_view>

#include "cli/FarmReading.h"

// The farm as one HTML page, whole without scripts: the summary, the time
// of the reading and the machine list with the window's columns and health
// looks. A small script of its own follows status.json, beside the page,
// every few seconds. Nothing is loaded from elsewhere.
std::string DashboardPage(const FarmReading& reading);

// Text from outside as HTML text or attribute value: valid UTF-8 without
// controls (as on a terminal), with the characters HTML gives meaning escaped.
std::string HtmlText(std::string_view text);
